// What the builder knew of each source file when it wrote the package: the
// file's size and modification time, a SHA-256 digest of its bytes, and
// where and how the package stores it. Kept in a file beside the package
// (never in it), it lets the next build prove a source unchanged by its
// digest and copy the stored stream without inflating it.
//
// The file is a cache and untrusted: it is bounded when read, a line that
// does not parse is dropped, and a record only counts when the package
// itself still holds the member it names, with the same CRC-32, size and
// place, and a stored stream of the recorded CRC-32.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vh {

class FileSystem;

struct SourceRecord {
  uint64_t size = 0;      // the source's, and so the member's uncompressed size
  int64_t modified = 0;   // the source's modification time, in nanoseconds
  std::string digest;     // SHA-256 of the source's bytes, lower-case hex
  uint32_t crc = 0;       // the member's CRC-32, as the directory records it
  uint64_t storedAt = 0;  // where the member's stream starts in the package
  uint64_t storedSize = 0;
  uint32_t storedCrc = 0;  // CRC-32 of the stream's own bytes
  bool pieced = false;     // deflated in pieces rather than in one pass

  bool operator==(const SourceRecord&) const = default;
};

class SourceDigests {
 public:
  // A file larger than this is not read at all, and lines past the count
  // are dropped: a working tree has some thousands of sources.
  static constexpr uint64_t kMaxFileBytes = 16ull << 20;
  static constexpr size_t kMaxRecords = 1u << 17;
  static constexpr size_t kMaxNameBytes = 4096;

  // The records of the text; a text without the first line of this format
  // gives none.
  static SourceDigests parse(std::string_view text);
  // The records of the file at `path`: none when it is missing, no regular
  // file, too large or of another format.
  static SourceDigests read(FileSystem& files, const std::string& path);
  std::string text() const;
  // Replaces the file at `path`; false when it cannot be written.
  [[nodiscard]] bool write(FileSystem& files, const std::string& path) const;

  const SourceRecord* find(const std::string& name) const;
  // A name the format cannot hold (empty, too long, with a line break) is
  // not recorded.
  void set(const std::string& name, const SourceRecord& record);
  size_t size() const { return records_.size(); }

  // A file's size and modification time; nothing when it is no regular
  // file.
  struct Stamp {
    uint64_t size = 0;
    int64_t modified = 0;
  };
  static std::optional<Stamp> stampOf(const std::string& path);

 private:
  std::map<std::string, SourceRecord> records_;
};

}  // namespace vh
