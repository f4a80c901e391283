#include "common/byte_reader.h"

#include <algorithm>
#include <cstring>

#include "common/little_endian.h"

namespace vh {

bool ByteReader::skip(size_t count) {
  if (count > remaining()) return false;
  position_ += count;
  return true;
}

std::optional<ByteReader> ByteReader::member(size_t count) {
  auto inner = memberAt(position_, count);
  if (inner) position_ += count;
  return inner;
}

std::optional<ByteReader> ByteReader::memberAt(size_t offset, size_t count) const {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return std::nullopt;
  return ByteReader(bytes_.subspan(offset, count));
}

uint32_t ByteReader::quiet(size_t width) {
  uint8_t b[4] = {};
  const size_t got = std::min(width, remaining());
  if (got) std::memcpy(b, bytes_.data() + position_, got);
  position_ += got;
  if (got < width) ranShort_ = true;
  return loadLE32(b);
}

uint64_t ByteReader::u64() {
  const uint64_t low = u32();
  const uint64_t high = u32();
  return low | high << 32;
}

std::string ByteReader::bytes(size_t count) {
  const size_t got = std::min(count, remaining());
  std::string out(reinterpret_cast<const char*>(bytes_.data() + position_), got);
  position_ += got;
  if (got < count) {
    ranShort_ = true;
    out.resize(count, '\0');
  }
  return out;
}

std::optional<uint8_t> ByteReader::tryU8() {
  if (remaining() < 1) return std::nullopt;
  return bytes_[position_++];
}

std::optional<uint16_t> ByteReader::tryU16() {
  if (remaining() < 2) return std::nullopt;
  const uint16_t value = loadLE16(bytes_.data() + position_);
  position_ += 2;
  return value;
}

std::optional<uint32_t> ByteReader::tryU32() {
  if (remaining() < 4) return std::nullopt;
  const uint32_t value = loadLE32(bytes_.data() + position_);
  position_ += 4;
  return value;
}

std::optional<int32_t> ByteReader::tryI32() {
  const auto value = tryU32();
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

std::optional<uint64_t> ByteReader::tryU64() {
  if (remaining() < 8) return std::nullopt;
  const uint64_t value = loadLE64(bytes_.data() + position_);
  position_ += 8;
  return value;
}

std::optional<std::string_view> ByteReader::tryBytes(size_t count) {
  if (count > remaining()) return std::nullopt;
  const std::string_view view(reinterpret_cast<const char*>(bytes_.data() + position_), count);
  position_ += count;
  return view;
}

}  // namespace vh
