#include <gtest/gtest.h>

#include "tests/xmg/xmg_fixture.h"

namespace vh {
namespace {

using test::Bytes;

tXMGHeader readHeader(const std::string& bytes) {
  MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
  tXMGHeader h;
  h.read(in);
  return h;
}

TEST(XmgHeaderTest, ReadsFieldsInFileOrderWithTheMaskRedGreenBlue) {
  const std::string bytes = Bytes()
                                .i32(7)                          // version
                                .u8(10).u8(20).u8(30).u8(99)     // mask red, green, blue; void
                                .i32(640).i32(-480).i32(1920)    // width, height, linelength
                                .i32(0x11223344).i32(-5)         // unknown3, unknown4
                                .u8(0xAB);                       // first run byte, not header
  MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
  tXMGHeader h;
  h.void_ = 42;
  EXPECT_EQ(h.read(in), 0);
  EXPECT_EQ(in.position(), 28);
  EXPECT_EQ(h.version, 7);
  EXPECT_EQ(h.mask_r, 10);
  EXPECT_EQ(h.mask_g, 20);
  EXPECT_EQ(h.mask_b, 30);
  EXPECT_EQ(h.void_, 42);  // the void byte is read past, not kept
  EXPECT_EQ(h.width, 640);
  EXPECT_EQ(h.height, -480);
  EXPECT_EQ(h.linelength, 1920);
  EXPECT_EQ(h.unknown3, 0x11223344);
  EXPECT_EQ(h.unknown4, -5);
}

TEST(XmgHeaderTest, AHeaderCutShortReadsAsZeros) {
  const std::string whole = test::xmgHeader(0x0102, 0x0304, 1, 2, 3);
  const tXMGHeader cut = readHeader(whole.substr(0, 9));  // version, mask, void, one width byte
  EXPECT_EQ(cut.version, 3);
  EXPECT_EQ(cut.mask_b, 3);
  EXPECT_EQ(cut.width, 0x02);
  EXPECT_EQ(cut.height, 0);
  EXPECT_EQ(cut.unknown4, 0);
  const tXMGHeader empty = readHeader("");
  EXPECT_EQ(empty.width, 0);
  EXPECT_EQ(empty.version, 0);
}

TEST(XmgHeaderTest, DefaultHeaderOfFiveBySevenSavesAsItsTwentyEightBytes) {
  tXMGHeader h;
  h.width = 5;
  h.height = 7;
  EXPECT_EQ(h.setupDefault(), 0);
  const std::string expected("\x03\x00\x00\x00"
                             "\x00\xFF\xFF\x00"
                             "\x05\x00\x00\x00"
                             "\x07\x00\x00\x00"
                             "\x0F\x00\x00\x00"
                             "\x00\x00\x00\x00"
                             "\x00\x00\x00\x00",
                             28);
  EXPECT_EQ(test::saved(h), expected);
  EXPECT_EQ(h.linelength, 15);
}

TEST(XmgHeaderTest, SetupDefaultKeepsSizeAndUnknownsAndSaveWritesThemBack) {
  tXMGHeader h;
  h.width = 9;
  h.height = 4;
  h.linelength = 1234;  // recomputed on save
  h.unknown3 = -1;
  h.unknown4 = 77;
  h.void_ = 5;  // always written as 0
  h.mask_r = 1;
  h.setupDefault();
  EXPECT_EQ(h.version, 3);
  EXPECT_EQ(h.mask_r, 0);
  EXPECT_EQ(h.mask_g, 255);
  EXPECT_EQ(h.mask_b, 255);
  const tXMGHeader back = readHeader(test::saved(h));
  EXPECT_EQ(back.width, 9);
  EXPECT_EQ(back.height, 4);
  EXPECT_EQ(back.linelength, 27);
  EXPECT_EQ(back.unknown3, -1);
  EXPECT_EQ(back.unknown4, 77);
  EXPECT_EQ(test::saved(h)[7], '\0');
}

}  // namespace
}  // namespace vh
