// What the builder knew of each source file when it wrote the package: the
// file's stamp (size, modification and change times, identity), a SHA-256
// digest of its bytes, and where and how the package stores it. Kept in a
// file beside the package (never in it), it lets the next build prove a
// source unchanged and copy the stored stream without inflating it: by its
// stamp alone when the stamp had settled before the record was taken, else
// by its digest.
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

#include "common/file_system.h"

namespace vh {

struct SourceRecord {
  uint64_t size = 0;      // the source's, and so the member's uncompressed size
  int64_t modified = 0;   // the source's modification time, in nanoseconds
  int64_t changed = 0;    // its change time, in nanoseconds
  uint64_t identity = 0;  // which file it was on its volume
  // Its change time lay far enough before the stamp was taken that any
  // later write shows in the change time (see SourceDigests::settled).
  bool settled = false;
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
  // Replaces the file at `path`, leaving its folder for the caller to sync
  // (the package goes into the same folder); false when it cannot be
  // written.
  [[nodiscard]] bool write(FileSystem& files, const std::string& path) const;

  const SourceRecord* find(const std::string& name) const;
  // A name the format cannot hold (empty, too long, with a line break) is
  // not recorded.
  void set(const std::string& name, const SourceRecord& record);
  size_t size() const { return records_.size(); }

  // A write lands in a change time the file system's clock gives, which
  // moves in steps (two seconds on some volumes): a file written again in
  // the step of its last change keeps its change time. A stamp whose change
  // time lies further back than this from the moment it was taken has no
  // such write left to hide.
  static constexpr int64_t kSettleNs = 2'000'000'000;
  // Whether `stamp`, taken at `nowNs` (nanoseconds since 1970, the scale
  // of the file system's times), has settled.
  static bool settled(const FileStamp& stamp, int64_t nowNs);
  // True when the source's stamp now is the one `record` took after it had
  // settled: nothing has written the file since, and its bytes are the ones
  // the record's digest names without reading them.
  static bool sameFile(const SourceRecord& record, const FileStamp& now);
  // The record's stamp as `stamp`, settled or not as of `nowNs`.
  static void stamp(SourceRecord& record, const FileStamp& taken, int64_t nowNs);

 private:
  std::map<std::string, SourceRecord> records_;
};

}  // namespace vh
