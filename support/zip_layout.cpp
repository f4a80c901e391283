#include "support/zip_layout.h"

#include <algorithm>
#include <string>

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
  if (!locator) return std::nullopt;
  uint8_t bytes[kZip64LocatorSize];
  if (!file.readAt(*locator, bytes, sizeof bytes)) return std::nullopt;
  // Only a package on one disk: the record's disk 0 of 1 disk.
  if (loadLE32(bytes + 4) != 0 || loadLE32(bytes + 16) != 1) return std::nullopt;
  const uint64_t record = loadLE64(bytes + 8);
  uint8_t signature[4];
  if (!file.readAt(record, signature, sizeof signature) || loadLE32(signature) != kZip64EndSignature) {
    return std::nullopt;
  }
  return record;
}

}  // namespace

std::optional<ZipEnd> findZipEnd(const RegularFile& file) {
  uint64_t at = 0, size = 0, offset = 0;
  if (const auto record = zip64End(file)) {
    uint8_t bytes[kZip64EndSize];
    if (!file.readAt(*record, bytes, sizeof bytes)) return std::nullopt;
    at = *record;
    size = loadLE64(bytes + 40);
    offset = loadLE64(bytes + 48);
  } else {
    const auto plain = lastSignature(file, kEndSignature);
    uint8_t bytes[kEndSize];
    if (!plain || !file.readAt(*plain, bytes, sizeof bytes)) return std::nullopt;
    at = *plain;
    size = loadLE32(bytes + 12);
    offset = loadLE32(bytes + 16);
  }
  if (offset > at || size > at - offset) return std::nullopt;
  ZipEnd end;
  end.shift = at - (offset + size);
  end.directoryStart = at - size;
  return end;
}

std::optional<ByteRange> memberRange(const RegularFile& file, const ZipEnd& end, const DirectoryEntry& entry) {
  uint8_t head[kDirectoryEntrySize];
  const uint64_t entryAt = entry.recordedAt + end.shift;
  if (!file.readAt(entryAt, head, sizeof head) || loadLE32(head) != kDirectoryEntrySignature) return std::nullopt;
  const uint16_t nameLength = loadLE16(head + 28);
  const uint16_t extraLength = loadLE16(head + 30);
  uint64_t uncompressed = loadLE32(head + 24);
  uint64_t compressed = loadLE32(head + 20);
  uint64_t local = loadLE32(head + 42);
  if (extraLength > 0 && (uncompressed == kInZip64Field || compressed == kInZip64Field || local == kInZip64Field)) {
    std::string extra(extraLength, '\0');
    if (!file.readAt(entryAt + kDirectoryEntrySize + nameLength, extra.data(), extra.size())) return std::nullopt;
    const auto* bytes = reinterpret_cast<const uint8_t*>(extra.data());
    // minizip reads the zip64 field's values one after another, as far as
    // the entry needs them, and takes the next field's header from where
    // they end.
    size_t at = 0;
    for (size_t walked = 0; walked < extra.size() && at + 4 <= extra.size();) {
      const uint16_t id = loadLE16(bytes + at);
      const uint16_t length = loadLE16(bytes + at + 2);
      at += 4;
      if (id == kZip64ExtraField) {
        for (uint64_t* value : {&uncompressed, &compressed, &local}) {
          if (*value != kInZip64Field) continue;
          if (at + 8 > extra.size()) return std::nullopt;
          *value = loadLE64(bytes + at);
          at += 8;
        }
      } else {
        at += length;
      }
      walked += 4 + length;
    }
  }
  if (nameLength != entry.nameLength || compressed != entry.compressedSize) return std::nullopt;

  uint8_t header[kLocalHeaderSize];
  const uint64_t headerAt = local + end.shift;
  if (!file.readAt(headerAt, header, sizeof header) || loadLE32(header) != kLocalHeaderSignature) return std::nullopt;
  const uint64_t data = headerAt + kLocalHeaderSize + loadLE16(header + 26) + loadLE16(header + 28);
  ByteRange range{headerAt, data + compressed};
  if ((loadLE16(header + 6) | loadLE16(head + 8)) & kSizesFollowData) {
    // CRC-32 and both sizes, 4 bytes each or 8 for a zip64 member, after an
    // optional signature.
    const bool zip64 = loadLE32(header + 18) == kInZip64Field || loadLE32(header + 22) == kInZip64Field;
    uint8_t signature[4] = {};
    const bool hasSignature = file.readAt(range.end, signature, sizeof signature) && loadLE32(signature) == kDescriptorSignature;
    range.end += (hasSignature ? 4 : 0) + (zip64 ? 20 : 12);
  }
  return range;
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
