// The reading half of the Wine registry store: a hive file's lines, and the
// data of one value line. Both show nothing and return a fault where the
// file or the line cannot be read; the store turns faults into the empty
// results every registry operation gives on failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/fault.h"

namespace vh {

class FileSystem;

// A hive as the lines of its file. Lines keep everything but their line
// feed, so that a hive written back changes only the lines a write touched.
struct HiveText {
  std::vector<std::string> lines;
  bool endsWithNewline = true;
};

// The lines of `text`.
HiveText splitHiveText(const std::string& text);
// No registry a prefix holds comes near this; a larger file is refused
// before anything is read, rather than filling memory.
inline constexpr uint64_t kMaxHiveSize = 64ull << 20;

// The lines of the hive file at `path`, read through `files`. A file that
// does not exist is an empty hive (a new prefix has none yet); one that
// exists but cannot be read to its end, or is no regular file (a pipe, a
// device), is the fault CannotOpen, so that nothing is ever written back
// from a part of it; one larger than kMaxHiveSize is the fault BadSize,
// given before anything is read.
Result<HiveText> readHiveFile(FileSystem& files, const std::string& path);

struct RegValue {
  uint32_t type = 0;
  std::string data;  // strings end with one zero byte, as the platform gives them
};

// The data of a value line, the text after its "=": "text", str(N):"text",
// dword:hex, hex:bytes or hex(N):bytes. Anything else is the fault Damaged.
Result<RegValue> parseValueData(const std::string& text);

}  // namespace vh
