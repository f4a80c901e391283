#include "common/byte_buffer.h"

#include "common/stream.h"

namespace vh {

std::shared_ptr<ByteBuffer> ByteBuffer::fromString(const std::string& bytes) {
  return std::make_shared<ByteBuffer>(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

uint8_t ByteBuffer::getU8(size_t offset) const {
  check(offset, 1);
  return bytes_[offset];
}

uint16_t ByteBuffer::getU16(size_t offset) const {
  check(offset, 2);
  return static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
}

uint32_t ByteBuffer::getU32(size_t offset) const {
  check(offset, 4);
  return static_cast<uint32_t>(bytes_[offset]) | (static_cast<uint32_t>(bytes_[offset + 1]) << 8) |
         (static_cast<uint32_t>(bytes_[offset + 2]) << 16) |
         (static_cast<uint32_t>(bytes_[offset + 3]) << 24);
}

void ByteBuffer::setU8(size_t offset, uint8_t value) {
  check(offset, 1);
  bytes_[offset] = value;
}

void ByteBuffer::setU16(size_t offset, uint16_t value) {
  check(offset, 2);
  bytes_[offset] = static_cast<uint8_t>(value);
  bytes_[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void ByteBuffer::setU32(size_t offset, uint32_t value) {
  check(offset, 4);
  for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void ByteBuffer::readFrom(Stream& stream, size_t count) {
  bytes_.assign(count, 0);
  stream.readFixed(bytes_.data(), count);
}

void ByteBuffer::writeTo(Stream& stream) const { stream.write(bytes_.data(), bytes_.size()); }

}  // namespace vh
