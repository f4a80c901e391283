#include "common/byte_buffer.h"

#include <gtest/gtest.h>

#include "common/stream.h"

namespace vh {
namespace {

TEST(ByteBuffer, LittleEndianAccessAtOffsets) {
  ByteBuffer b(8);
  b.setU8(0, 0xAB);
  b.setU16(1, 0x1234);
  b.setI32(3, -2);
  EXPECT_EQ(b.getU8(0), 0xAB);
  EXPECT_EQ(b.getU8(1), 0x34);
  EXPECT_EQ(b.getU16(1), 0x1234);
  EXPECT_EQ(b.getU32(3), 0xFFFFFFFEu);
  EXPECT_EQ(b.getI32(3), -2);
  EXPECT_EQ(b.getU8(7), 0);
}

TEST(ByteBuffer, AccessOutsideTheBufferThrows) {
  ByteBuffer b(4);
  EXPECT_THROW(b.getU8(4), std::out_of_range);
  EXPECT_THROW(b.getU16(3), std::out_of_range);
  EXPECT_THROW(b.getU32(1), std::out_of_range);
  EXPECT_THROW(b.setU32(SIZE_MAX - 1, 0), std::out_of_range);  // no wrap-around
}

TEST(ByteBuffer, BulkTransferThroughStreams) {
  const std::string source = "abcdef";
  MemoryStream in(static_cast<const void*>(source.data()), source.size());
  in.seek(2);
  ByteBuffer b;
  b.readFrom(in, 6);  // only four bytes remain: two zeros follow
  EXPECT_EQ(b.toString(), std::string("cdef\0\0", 6));
  auto out = std::make_shared<ByteBuffer>();
  BufferStream sink(out);
  b.writeTo(sink);
  EXPECT_EQ(out->toString(), b.toString());
}

}  // namespace
}  // namespace vh
