// A bounded reader over bytes held in memory: a position, the bytes that
// remain, and sub-readers that confine a member to its own length.
//
// It reads in one of two modes, chosen at the call:
// - quiet (`u8`, `u16`, `u32`, `u64`, `bytes`): the game's streams' rule, a fixed-size
//   read that runs into the end delivers the missing bytes as zeros and is no
//   error; `ranShort()` tells afterwards that it happened;
// - checked (`tryU8`, `tryU16`, `tryU32`, `tryU64`, `tryBytes`): nothing unless every
//   byte is there, and then the position stays where it was.
// Neither ever allocates more than the bytes that remain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vh {

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  explicit ByteReader(std::string_view bytes)
      : bytes_(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) {}
  // The reader only views its bytes: a string that dies with the statement
  // would leave it reading freed memory.
  explicit ByteReader(std::string&&) = delete;

  size_t position() const { return position_; }
  size_t size() const { return bytes_.size(); }
  size_t remaining() const { return bytes_.size() - position_; }
  bool atEnd() const { return position_ == bytes_.size(); }
  bool ranShort() const { return ranShort_; }
  // Past the end stops at the end, as the streams' seek does.
  void seek(size_t position) { position_ = position < bytes_.size() ? position : bytes_.size(); }
  // False, and nothing skipped, when fewer bytes remain.
  [[nodiscard]] bool skip(size_t count);

  // Whether `count` items of `itemSize` bytes each can still be read. The
  // division keeps a count taken from the file from overflowing the product.
  bool holds(size_t count, size_t itemSize) const {
    return itemSize == 0 || count <= remaining() / itemSize;
  }

  // A reader over the next `count` bytes, which this one skips; nothing when
  // fewer remain.
  [[nodiscard]] std::optional<ByteReader> member(size_t count);
  // A reader over `count` bytes from `offset` of the whole span, without
  // moving this one; nothing when they are not all inside it.
  [[nodiscard]] std::optional<ByteReader> memberAt(size_t offset, size_t count) const;

  uint8_t u8() { return static_cast<uint8_t>(quiet(1)); }
  uint16_t u16() { return static_cast<uint16_t>(quiet(2)); }
  uint32_t u32() { return static_cast<uint32_t>(quiet(4)); }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  uint64_t u64();
  // `count` bytes, zero-filled past the end like the streams' strings. The
  // zeros are allocated as asked: a count read from the file is checked with
  // holds() first, so that it never sizes an allocation by itself.
  std::string bytes(size_t count);

  [[nodiscard]] std::optional<uint8_t> tryU8();
  [[nodiscard]] std::optional<uint16_t> tryU16();
  [[nodiscard]] std::optional<uint32_t> tryU32();
  [[nodiscard]] std::optional<int32_t> tryI32();
  [[nodiscard]] std::optional<uint64_t> tryU64();
  [[nodiscard]] std::optional<std::string_view> tryBytes(size_t count);

  // The bytes from the position on, which the reader does not consume.
  std::span<const uint8_t> rest() const { return bytes_.subspan(position_); }

 private:
  uint32_t quiet(size_t width);

  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
  bool ranShort_ = false;
};

}  // namespace vh
