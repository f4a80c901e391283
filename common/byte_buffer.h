// A resizable block of bytes with little-endian access at byte offsets.
// Plain archive members and extracted package members live in these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vh {

class Stream;

class ByteBuffer {
 public:
  ByteBuffer() = default;
  explicit ByteBuffer(size_t size) : bytes_(size) {}
  explicit ByteBuffer(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  static std::shared_ptr<ByteBuffer> fromString(const std::string& bytes);

  size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  void resize(size_t size) { bytes_.resize(size); }
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }
  std::vector<uint8_t>& bytes() { return bytes_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::string toString() const { return std::string(bytes_.begin(), bytes_.end()); }

  // Offsets are the caller's own arithmetic, so a bad one is a programming
  // error and throws std::out_of_range rather than reading stray memory.
  uint8_t getU8(size_t offset) const;
  uint16_t getU16(size_t offset) const;
  uint32_t getU32(size_t offset) const;
  int32_t getI32(size_t offset) const { return static_cast<int32_t>(getU32(offset)); }
  void setU8(size_t offset, uint8_t value);
  void setU16(size_t offset, uint16_t value);
  void setU32(size_t offset, uint32_t value);
  void setI32(size_t offset, int32_t value) { setU32(offset, static_cast<uint32_t>(value)); }

  // Bulk transfer: readFrom replaces the content with what one read of
  // `count` bytes delivers (a short read leaves zeros at the end, like every
  // fixed-size read); writeTo writes the whole content.
  void readFrom(Stream& stream, size_t count);
  void writeTo(Stream& stream) const;

 private:
  void check(size_t offset, size_t width) const {
    if (offset > bytes_.size() || width > bytes_.size() - offset) {
      throw std::out_of_range("byte buffer offset out of range");
    }
  }
  std::vector<uint8_t> bytes_;
};

using ByteBufferPtr = std::shared_ptr<ByteBuffer>;

}  // namespace vh
