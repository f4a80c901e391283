#include "support/zip_layout.h"

#include <algorithm>
#include <string>

#include "common/byte_reader.h"
#include "common/fault.h"
#include "common/files.h"
#include "common/little_endian.h"

namespace vh {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kDirectoryEntrySignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kDirectoryEntrySize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
// The end record's comment holds at most this many bytes, so minizip looks
// for the record no further back from the end of the file.
constexpr uint64_t kEndSearch = 0xFFFF;
constexpr uint32_t kInZip64Field = 0xFFFFFFFF;  // the real value is in the zip64 extra field
constexpr uint16_t kZip64ExtraField = 0x0001;
constexpr uint16_t kSizesFollowData = 8;  // general-purpose flag bit 3

// Fixed records are read whole from the file first; the reader over them
// then never runs short.
template <size_t kSize>
struct RecordBytes {
  uint8_t bytes[kSize] = {};
  template <class File>
  bool readFrom(File& file, uint64_t offset) {
    return file.readAt(offset, bytes, kSize);
  }
  ByteReader reader() const { return ByteReader(std::span<const uint8_t>(bytes, kSize)); }
};

Fault damaged(const std::string& what) { return Fault{FaultKind::Damaged, what}; }

// The signature found last within the search window, as minizip's search
// from the end backwards meets it first: positions from the window's second
// byte to four before the end.
std::optional<uint64_t> lastSignature(const RegularFile& file, uint32_t signature) {
  const uint64_t size = file.size();
  const uint64_t window = std::min(size, kEndSearch);
  if (window < 5) return std::nullopt;
  std::string tail(static_cast<size_t>(window), '\0');
  if (!file.readAt(size - window, tail.data(), tail.size())) return std::nullopt;
  const auto* bytes = reinterpret_cast<const uint8_t*>(tail.data());
  for (size_t at = tail.size() - 4; at >= 1; --at) {
    if (loadLE32(bytes + at) == signature) return size - window + at;
  }
  return std::nullopt;
}

// The zip64 end record's position, when its locator leads to one.
std::optional<uint64_t> zip64End(const RegularFile& file) {
  const auto locator = lastSignature(file, kZip64LocatorSignature);
  RecordBytes<kZip64LocatorSize> bytes;
  if (!locator || !bytes.readFrom(file, *locator)) return std::nullopt;
  ByteReader record = bytes.reader();
  (void)record.u32();  // signature
  const uint32_t recordDisk = record.u32();
  const uint64_t at = record.u64();
  const uint32_t disks = record.u32();
  // Only a package on one disk: the record's disk 0 of 1 disk.
  if (recordDisk != 0 || disks != 1) return std::nullopt;
  RecordBytes<4> signature;
  if (!signature.readFrom(file, at) || signature.reader().u32() != kZip64EndSignature) return std::nullopt;
  return at;
}

// Where the central directory lies, as the end record says: its size and
// its offset from the package's start.
struct DirectoryPlace {
  uint64_t size = 0;
  uint64_t offset = 0;
};

DirectoryPlace readZip64End(ByteReader record) {
  DirectoryPlace place;
  (void)record.skip(40);  // signature, record size, versions, disks, entry counts
  place.size = record.u64();
  place.offset = record.u64();
  return place;
}

DirectoryPlace readEnd(ByteReader record) {
  DirectoryPlace place;
  (void)record.skip(12);  // signature, disks, entry counts
  place.size = record.u32();
  place.offset = record.u32();
  return place;
}

// The fields of a central directory entry that say where its member lies.
struct DirectoryFields {
  uint16_t flags = 0;
  uint64_t compressed = 0;
  uint64_t uncompressed = 0;
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;
  uint64_t local = 0;  // where the member's local header stands, as recorded
};

Result<DirectoryFields> readDirectoryFields(ByteReader record) {
  DirectoryFields fields;
  if (record.u32() != kDirectoryEntrySignature) return damaged("no directory entry signature");
  (void)record.skip(4);  // versions made by and needed
  fields.flags = record.u16();
  (void)record.skip(10);  // method, time, date, CRC-32
  fields.compressed = record.u32();
  fields.uncompressed = record.u32();
  fields.nameLength = record.u16();
  fields.extraLength = record.u16();
  (void)record.skip(10);  // comment length, disk, attributes
  fields.local = record.u32();
  return fields;
}

// The zip64 values of an entry whose 32-bit fields say they are there.
// minizip reads the zip64 field's values one after another, as far as the
// entry needs them, and takes the next field's header from where they end:
// a zip64 field longer than its values has its rest read as fields.
Result<DirectoryFields> readZip64Values(ByteReader extra, DirectoryFields fields) {
  constexpr size_t kFieldHeaderSize = 4;
  for (size_t walked = 0; walked < extra.size() && extra.remaining() >= kFieldHeaderSize;) {
    const uint16_t id = extra.u16();      // both within the header's
    const uint16_t length = extra.u16();  // four bytes checked above
    if (id == kZip64ExtraField) {
      for (uint64_t* value : {&fields.uncompressed, &fields.compressed, &fields.local}) {
        if (*value != kInZip64Field) continue;
        const auto wide = extra.tryU64();
        if (!wide) return damaged("zip64 field too short for its values");
        *value = *wide;
      }
    } else {
      extra.seek(extra.position() + length);  // past the end ends the walk
    }
    walked += kFieldHeaderSize + length;
  }
  return fields;
}

// The fields of a local header that say where its member's data begins.
struct LocalFields {
  uint16_t flags = 0;
  bool zip64Sizes = false;
  bool extra = false;
  uint64_t dataOffset = 0;  // from the header's first byte
};

Result<LocalFields> readLocalFields(ByteReader record) {
  LocalFields fields;
  if (record.u32() != kLocalHeaderSignature) return damaged("no local header signature");
  (void)record.skip(2);  // version needed
  fields.flags = record.u16();
  (void)record.skip(10);  // method, time, date, CRC-32
  const uint32_t compressed = record.u32();
  const uint32_t uncompressed = record.u32();
  fields.zip64Sizes = compressed == kInZip64Field || uncompressed == kInZip64Field;
  const uint16_t nameLength = record.u16();
  const uint16_t extraLength = record.u16();
  fields.dataOffset = kLocalHeaderSize + nameLength + extraLength;
  fields.extra = extraLength > 0;
  return fields;
}

// The member's range as the entry and its local header give it.
Result<MemberPlace> readMemberRange(WindowedFile& file, const ZipEnd& end, const DirectoryEntry& entry) {
  RecordBytes<kDirectoryEntrySize> head;
  const uint64_t entryAt = entry.recordedAt + end.shift;
  if (!head.readFrom(file, entryAt)) return damaged("directory entry past the end");
  Result<DirectoryFields> fields = readDirectoryFields(head.reader());
  if (!fields) return fields.fault();
  const DirectoryFields& d = fields.value();
  if (d.extraLength > 0 &&
      (d.uncompressed == kInZip64Field || d.compressed == kInZip64Field || d.local == kInZip64Field)) {
    std::string extra(d.extraLength, '\0');
    if (!file.readAt(entryAt + kDirectoryEntrySize + d.nameLength, extra.data(), extra.size())) {
      return damaged("extra field past the end");
    }
    Result<DirectoryFields> wide = readZip64Values(ByteReader(std::string_view(extra)), d);
    if (!wide) return wide.fault();
    fields = std::move(wide);
  }
  const DirectoryFields& sizes = fields.value();
  if (sizes.nameLength != entry.nameLength || sizes.compressed != entry.compressedSize) {
    return damaged("entry differs from minizip's");
  }

  RecordBytes<kLocalHeaderSize> header;
  const uint64_t headerAt = sizes.local + end.shift;
  if (!header.readFrom(file, headerAt)) return damaged("local header past the end");
  const Result<LocalFields> local = readLocalFields(header.reader());
  if (!local) return local.fault();
  MemberPlace place{{headerAt, headerAt + local.value().dataOffset + sizes.compressed},
                    headerAt + local.value().dataOffset,
                    local.value().extra};
  ByteRange& range = place.range;
  if ((local.value().flags | sizes.flags) & kSizesFollowData) {
    // CRC-32 and both sizes, 4 bytes each or 8 for a zip64 member, after an
    // optional signature.
    RecordBytes<4> signature;
    const bool hasSignature = signature.readFrom(file, range.end) && signature.reader().u32() == kDescriptorSignature;
    range.end += (hasSignature ? 4 : 0) + (local.value().zip64Sizes ? 20 : 12);
  }
  return place;
}

}  // namespace

std::optional<ZipEnd> findZipEnd(const RegularFile& file) {
  uint64_t at = 0;
  DirectoryPlace place;
  if (const auto record = zip64End(file)) {
    RecordBytes<kZip64EndSize> bytes;
    if (!bytes.readFrom(file, *record)) return std::nullopt;
    at = *record;
    place = readZip64End(bytes.reader());
  } else {
    const auto plain = lastSignature(file, kEndSignature);
    RecordBytes<kEndSize> bytes;
    if (!plain || !bytes.readFrom(file, *plain)) return std::nullopt;
    at = *plain;
    place = readEnd(bytes.reader());
  }
  if (place.offset > at || place.size > at - place.offset) return std::nullopt;
  ZipEnd end;
  end.shift = at - (place.offset + place.size);
  end.directoryStart = at - place.size;
  return end;
}

std::optional<MemberPlace> memberRange(WindowedFile& file, const ZipEnd& end, const DirectoryEntry& entry) {
  Result<MemberPlace> range = readMemberRange(file, end, entry);
  if (!range) return std::nullopt;
  return range.value();
}

bool membersShareBytes(std::vector<ByteRange> members, uint64_t directoryStart) {
  std::sort(members.begin(), members.end(), [](const ByteRange& a, const ByteRange& b) { return a.begin < b.begin; });
  uint64_t reached = 0;  // the furthest end of the ranges before
  for (const ByteRange& range : members) {
    if (range.begin < reached || range.end > directoryStart) return true;
    reached = std::max(reached, range.end);
  }
  return false;
}

}  // namespace vh
