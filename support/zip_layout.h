// Where a package's members and its central directory lie in its file, found
// the way minizip finds them, so that a package whose members share their
// bytes can be refused before anything is taken from it: twenty directory
// entries naming one deflated stream make a package of kilobytes write
// gigabytes, and a member whose data runs into the directory is made of
// other members' headers.
//
// A member's range runs from its local header to the end of its data and, for
// a member whose sizes follow its data (flag bit 3), of that data descriptor.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "support/read_windows.h"

namespace vh {

class RegularFile;

struct ByteRange {
  uint64_t begin = 0;
  uint64_t end = 0;  // one past the last byte
  bool operator==(const ByteRange&) const = default;
};

// The end records as minizip reads them.
struct ZipEnd {
  // What minizip adds to every offset the package records: the bytes before
  // the package proper (a program it was appended to, say).
  uint64_t shift = 0;
  // Where the central directory starts in the file.
  uint64_t directoryStart = 0;
};

// The end-of-directory record (or its zip64 form) found as minizip finds it:
// the last signature within the file's last 64 KiB. Nothing when there is
// none, or the records contradict the file.
std::optional<ZipEnd> findZipEnd(const RegularFile& file);

// What minizip's walk over the directory says of one entry.
struct DirectoryEntry {
  uint64_t recordedAt = 0;  // where the entry stands, as the package records it
  uint64_t compressedSize = 0;
  uint16_t nameLength = 0;
};

// Where a member lies: its whole range (local header, data and any
// descriptor after it), where its data starts, and whether its local
// header carries extra fields.
struct MemberPlace {
  ByteRange range;
  uint64_t dataAt = 0;
  bool localExtra = false;
};

// The place of the member that `entry` describes, from the entry and the
// member's local header as they stand in the file; nothing when either
// cannot be read there or the entry read differs from minizip's.
// Read through windows: a walk over the members reads an entry, the local
// header it names, then the next entry, each some tens of bytes.
std::optional<MemberPlace> memberRange(WindowedFile& file, const ZipEnd& end, const DirectoryEntry& entry);

// True when two members' ranges share a byte, or one reaches into the
// directory or past it (the directory, the end records and anything after
// them, which no member's data has a reason to reach).
bool membersShareBytes(std::vector<ByteRange> members, uint64_t directoryStart);

}  // namespace vh
