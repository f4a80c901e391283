#include "support/zip_directory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "tests/test_support.h"

namespace vh {
namespace {

using test::Bytes;

// A local header with a different value in every field.
const std::string kHeader = Bytes()
                                .u32(0x04034B50)  // signature
                                .u16(20)          // version needed
                                .u16(0x0808)      // flags
                                .u16(8)           // method
                                .u16(0x6C2A)      // time
                                .u16(0x5A31)      // date
                                .u32(0xCAFEF00D)  // CRC-32
                                .u32(1234)        // compressed size
                                .u32(56789)       // uncompressed size
                                .u16(11)          // name length
                                .u16(7);          // extra length

// The header read at the start of a bank and behind some bytes, and the
// descriptor read from within it.
TEST(ZipRecords, FieldsAreReadAtTheirPlaces) {
  for (const size_t offset : {size_t{0}, size_t{3}}) {
    SCOPED_TRACE(offset);
    const auto bank = ByteBuffer::fromString(std::string(offset, 'x') + kHeader + "tail");
    SZIPFileHeader header;
    EXPECT_EQ(header.fillFromBank(*bank, offset), 0);
    EXPECT_EQ(header.Sig, 0x04034B50u);
    EXPECT_EQ(header.VersionToExtract, 20);
    EXPECT_EQ(header.GeneralBitFlag, 0x0808);
    EXPECT_EQ(header.CompressionMethod, 8);
    EXPECT_EQ(header.LastModFileTime, 0x6C2A);
    EXPECT_EQ(header.LastModFileDate, 0x5A31);
    EXPECT_EQ(header.DataDescriptor.CRC32, 0xCAFEF00Du);
    EXPECT_EQ(header.DataDescriptor.CompressedSize, 1234u);
    EXPECT_EQ(header.DataDescriptor.UncompressedSize, 56789u);
    EXPECT_EQ(header.FilenameLength, 11);
    EXPECT_EQ(header.ExtraFieldLength, 7);

    SZIPFileDataDescriptor descriptor;
    EXPECT_EQ(descriptor.fillFromBank(*bank, offset + 14), 0);
    EXPECT_EQ(descriptor.CRC32, 0xCAFEF00Du);
    EXPECT_EQ(descriptor.UncompressedSize, 56789u);
  }
}

// A record the bank cannot hold whole is refused with the one message, at
// every length short of it and at an offset whose sum would wrap.
TEST(ZipRecords, ARecordPastTheBankIsRefused) {
  auto expectRefused = [](PACK_STRUCT& record, const ByteBuffer& bank, size_t offset) {
    try {
      record.fillFromBank(bank, offset);
      ADD_FAILURE() << "filled from " << bank.size() << " bytes at " << offset;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "fillFromBank out of bounds");
    }
  };
  for (size_t length = 0; length < kHeader.size(); ++length) {
    SCOPED_TRACE(length);
    const auto bank = ByteBuffer::fromString(kHeader.substr(0, length));
    SZIPFileHeader header;
    expectRefused(header, *bank, 0);
    EXPECT_EQ(header.Sig, 0u);  // nothing taken from a record cut short
    SZIPFileDataDescriptor descriptor;
    if (length < SZIPFileDataDescriptor::size) expectRefused(descriptor, *bank, 0);
  }
  const auto bank = ByteBuffer::fromString(kHeader);
  SZIPFileDataDescriptor descriptor;
  expectRefused(descriptor, *bank, std::numeric_limits<size_t>::max() - 4);
  expectRefused(descriptor, *bank, kHeader.size() - 11);
}

}  // namespace
}  // namespace vh
