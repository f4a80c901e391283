#include "formats/xarc_table.h"

#include <algorithm>

#include "common/byte_reader.h"
#include "common/little_endian.h"
#include "formats/xarc.h"

namespace vh {

namespace {

constexpr int64_t kHeaderSize = 12;
constexpr int64_t kHeaderLengthAt = 8;
// An empty name's 0 byte, length and flag.
constexpr int64_t kMinEntrySize = 9;
// A table cut short by a few entries still opens.
constexpr int64_t kMissingEntriesAllowed = 64;

Fault badSize(const std::string& what) { return Fault{FaultKind::BadSize, what}; }

// A name as the archive's line rule reads it: up to a line feed, a 0 byte or
// the end, none of which is kept, every carriage return dropped.
std::string readName(ByteReader& reader) {
  const std::span<const uint8_t> rest = reader.rest();
  size_t end = 0;
  while (end < rest.size() && rest[end] != '\n' && rest[end] != 0) ++end;
  std::string name;
  name.reserve(end);
  for (size_t i = 0; i < end; ++i) {
    if (rest[i] != '\r') name.push_back(static_cast<char>(rest[i]));
  }
  const bool terminated = end < rest.size();
  (void)reader.skip(terminated ? end + 1 : end);
  return name;
}

// Entry `index`, whose data would begin at `offset`. A table cut short
// gives empty names and zero lengths (quiet reads), which the bounds then
// weigh like any other.
Result<XarcEntry> readEntry(ByteReader& reader, int32_t index, int64_t offset, int64_t fileSize) {
  XarcEntry entry;
  entry.name = readName(reader);
  entry.length = reader.i32();  // quiet: zeros past the end
  entry.flag = reader.i32();    // quiet: zeros past the end
  entry.offset = offset;
  entry.isRecordFile = tXARC::getExtName(entry.name) == "xrc";
  const std::string where = "member " + std::to_string(index) + " of " + std::to_string(entry.length) +
                            " bytes at offset " + std::to_string(offset);
  if (entry.length < 0 || offset < 0 || offset > fileSize) {
    return badSize(where + " does not fit a file of " + std::to_string(fileSize) + " bytes");
  }
  // A plain member must be all there. The record file may be cut short by
  // the end of the file: its tree reads zeros past the end (within the limit
  // that guards damaged trees) and its length is recomputed on save. Any
  // member after one that overran begins past the end and is refused.
  if (!entry.isRecordFile && offset + entry.length > fileSize) {
    return badSize(where + " reaches past the end of a file of " + std::to_string(fileSize) + " bytes");
  }
  return entry;
}

// The walk over bytes from the start of the file; `reader` may hold only the
// first part of a file of `fileSize` bytes, and ranShort() then says whether
// the walk needed more of it.
Result<XarcTable> walkTable(ByteReader& reader, int64_t fileSize) {
  XarcTable table;
  table.xrcNo = reader.i32();         // quiet: a header cut short
  table.filecount = reader.i32();     // reads zeros in place of
  table.headerlength = reader.i32();  // its missing bytes
  // A header cut short holds no member table worth the name.
  if (fileSize < kHeaderSize) return table;
  table.headerComplete = true;
  // Every entry takes at least kMinEntrySize bytes of table. A table cut
  // short by a few entries still reads quietly, but a count the file's bytes
  // cannot back is a lie; refusing it keeps the entries in proportion to
  // bytes that really exist.
  if (table.filecount < 0 || table.filecount > (fileSize - kHeaderSize) / kMinEntrySize + kMissingEntriesAllowed) {
    return badSize("member count " + std::to_string(table.filecount) + " is more than " + std::to_string(fileSize) +
                   " bytes can hold");
  }
  table.entries.reserve(static_cast<size_t>(table.filecount));
  int64_t running = table.headerlength;
  // Quiet reads past the end do not move the reader, so a table cut short
  // ends later, written back in full, than where its reading stopped.
  table.savedTableEnd = kHeaderSize;
  for (int32_t i = 0; i < table.filecount; ++i) {
    Result<XarcEntry> entry = readEntry(reader, i, running, fileSize);
    if (!entry) return entry.fault();
    table.savedTableEnd += static_cast<int64_t>(entry.value().name.size()) + kMinEntrySize;
    running += entry.value().length;
    table.entries.push_back(std::move(entry.value()));
  }
  table.tableEnd = static_cast<int64_t>(reader.position());
  if (table.filecount > 0 && table.tableEnd > table.headerlength) {
    return badSize("member table ends at " + std::to_string(table.tableEnd) + ", past headerlength " +
                   std::to_string(table.headerlength));
  }
  if (table.tableEnd < table.headerlength) {
    const int64_t gapEnd = std::min<int64_t>(table.headerlength, fileSize);
    table.headerGap = reader.bytes(static_cast<size_t>(gapEnd - table.tableEnd));  // within the file's bytes
  }
  return table;
}

}  // namespace

Result<XarcTable> readXarcTable(Stream& stream) {
  stream.seek(0);
  const int64_t fileSize = stream.size();
  // A table that opens ends by headerlength, so the bytes up to it are read
  // first; only a table that runs on past them (one refused in the end)
  // needs the rest of the file to say where it stops and why.
  std::string bytes = stream.readString(static_cast<size_t>(std::min(fileSize, kHeaderSize)));
  int64_t first = static_cast<int64_t>(bytes.size());
  if (first == kHeaderSize) {
    const auto* header = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto headerlength = static_cast<int32_t>(loadLE32(header + kHeaderLengthAt));
    first = std::min<int64_t>(fileSize, std::max<int64_t>(kHeaderSize, headerlength));
  }
  bytes += stream.readString(static_cast<size_t>(first) - bytes.size());
  ByteReader head(bytes);
  Result<XarcTable> table = walkTable(head, fileSize);
  if (!head.ranShort() || first >= fileSize) return table;
  bytes += stream.readString(static_cast<size_t>(fileSize - first));
  ByteReader whole(bytes);
  return walkTable(whole, fileSize);
}

}  // namespace vh
