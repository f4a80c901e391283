#include "common/byte_buffer.h"

#include "common/little_endian.h"
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
  return loadLE16(bytes_.data() + offset);
}

uint32_t ByteBuffer::getU32(size_t offset) const {
  check(offset, 4);
  return loadLE32(bytes_.data() + offset);
}

void ByteBuffer::setU8(size_t offset, uint8_t value) {
  check(offset, 1);
  bytes_[offset] = value;
}

void ByteBuffer::setU16(size_t offset, uint16_t value) {
  check(offset, 2);
  storeLE16(bytes_.data() + offset, value);
}

void ByteBuffer::setU32(size_t offset, uint32_t value) {
  check(offset, 4);
  storeLE32(bytes_.data() + offset, value);
}

void ByteBuffer::readFrom(Stream& stream, size_t count) {
  bytes_.assign(count, 0);
  stream.readFixed(bytes_.data(), count);
}

void ByteBuffer::writeTo(Stream& stream) const { stream.write(bytes_.data(), bytes_.size()); }

}  // namespace vh
