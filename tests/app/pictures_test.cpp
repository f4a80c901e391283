#include "app/pictures.h"

#include <gtest/gtest.h>

#include "app/embedded_files.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::Bytes;

// A 24-bit BMP of `width` x `height` with the rows given top to bottom as
// RGB triples; stored bottom-up unless `topDown`.
std::string bmp(int width, int height, const std::vector<std::vector<uint32_t>>& rows, bool topDown = false) {
  const int rowBytes = (width * 3 + 3) & ~3;
  Bytes b;
  b.str("BM").u32(54 + rowBytes * height).u32(0).u32(54);  // file header: size, reserved, pixel offset
  b.u32(40).i32(width).i32(topDown ? -height : height);     // info header size, width, height
  b.u16(1).u16(24).u32(0).u32(rowBytes * height);            // planes, bits, no compression, image size
  b.u32(2835).u32(2835).u32(0).u32(0);                      // resolution, palette sizes
  for (int i = 0; i < height; ++i) {
    const auto& row = rows[static_cast<size_t>(topDown ? i : height - 1 - i)];
    for (uint32_t rgb : row) b.u8(rgb & 0xFF).u8((rgb >> 8) & 0xFF).u8(rgb >> 16);  // blue, green, red
    for (int pad = width * 3; pad < rowBytes; ++pad) b.u8(0xEE);
  }
  return b.bytes();
}

uint32_t rgbAt(const PixelMap& p, int x, int y) { return p.getPixel(x, y) & 0xFFFFFF; }

TEST(Bmp, DecodesBottomUpAndTopDownRowsWithTheirPadding) {
  const std::vector<std::vector<uint32_t>> rows{{0xFF0000, 0x00FF00, 0x0000FF}, {0x102030, 0xFFFFFF, 0x000000}};
  for (bool topDown : {false, true}) {
    const PixelMap p = decodeBmp(bmp(3, 2, rows, topDown));
    ASSERT_EQ(p.width(), 3);
    ASSERT_EQ(p.height(), 2);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) EXPECT_EQ(rgbAt(p, x, y), rows[y][x]) << x << "," << y << " topDown " << topDown;
    }
  }
}

TEST(Bmp, RefusesWhatItCannotShowWithoutReadingPastTheData) {
  const std::string good = bmp(3, 2, {{1, 2, 3}, {4, 5, 6}});
  EXPECT_THROW(decodeBmp(good.substr(0, good.size() - 1)), PictureError);
  EXPECT_THROW(decodeBmp(good.substr(0, 30)), PictureError);
  EXPECT_THROW(decodeBmp("PNG not a bitmap at all, but long enough to hold a header......"), PictureError);
  std::string eightBit = good;
  eightBit[28] = 8;
  EXPECT_THROW(decodeBmp(eightBit), PictureError);
  std::string compressed = good;
  compressed[30] = 1;
  EXPECT_THROW(decodeBmp(compressed), PictureError);
  // A size that the data cannot back, and one beyond any screen.
  std::string tall = good;
  tall[22] = 0x10;
  tall[23] = 0x27;
  EXPECT_THROW(decodeBmp(tall), PictureError);
  std::string huge = good;
  huge[21] = 0x7F;
  EXPECT_THROW(decodeBmp(huge), PictureError);
  std::string offset = good;
  offset[13] = 0x7F;
  EXPECT_THROW(decodeBmp(offset), PictureError);
}

TEST(Jpeg, TheMapIsABaselineJpegOfItsSizeAndDamageIsAnError) {
  const std::string map = test::readFile(std::string(VH_SOURCE_DIR) + "/assets/map.jpg");
  // Baseline: a start-of-frame 0 marker and no progressive one.
  EXPECT_NE(map.find("\xFF\xC0"), std::string::npos);
  EXPECT_EQ(map.find("\xFF\xC2"), std::string::npos);
  const PixelMap picture = decodeJpeg(map);
  EXPECT_EQ(picture.width(), 1000);
  EXPECT_EQ(picture.height(), 1415);
  // The border is dark brown, not black: the picture has real content.
  EXPECT_NE(rgbAt(picture, 2, 2), 0u);

  EXPECT_THROW(decodeJpeg("not a picture"), PictureError);
  EXPECT_THROW(decodeJpeg(map.substr(0, 200)), PictureError);
  EXPECT_THROW(decodeJpeg(""), PictureError);
}

TEST(Pictures, TheTitleIsA24BitBmpOfItsSize) {
  const PixelMap title = decodeBmp(test::readFile(std::string(VH_SOURCE_DIR) + "/assets/title.bmp"));
  EXPECT_EQ(title.width(), 313);
  EXPECT_EQ(title.height(), 208);
}

TEST(Pictures, LoadPictureGoesByLocatorAndExtension) {
  test::TempDir dir;
  const std::string bytes = bmp(1, 1, {{0x123456}});
  test::writeFile(dir / "tiny.BMP", bytes);
  EXPECT_EQ(rgbAt(loadPicture(dir / "tiny.BMP"), 0, 0), 0x123456u);
  static const std::string embedded = bytes;
  registerEmbeddedFile("tiny-test.bmp", embedded);
  EXPECT_EQ(rgbAt(loadPicture("incbin::tiny-test.bmp"), 0, 0), 0x123456u);
  EXPECT_THROW(loadPicture("incbin::nothing.bmp"), PictureError);
  EXPECT_THROW(loadPicture(dir / "missing.jpg"), PictureError);
  test::writeFile(dir / "tiny.gif", bytes);
  EXPECT_THROW(loadPicture(dir / "tiny.gif"), PictureError);
}

TEST(EmbeddedFiles, LocatorsReachRegisteredFilesOnly) {
  static const std::string first = "first";
  static const std::string second = "second";
  registerEmbeddedFile("note.txt", first);
  EXPECT_EQ(findEmbeddedFile("incbin::note.txt"), std::optional<std::string_view>(first));
  registerEmbeddedFile("note.txt", second);
  EXPECT_EQ(findEmbeddedFile("incbin::note.txt"), std::optional<std::string_view>(second));
  EXPECT_FALSE(findEmbeddedFile("note.txt"));
  EXPECT_FALSE(findEmbeddedFile("incbin::NOTE.TXT"));
  EXPECT_FALSE(findEmbeddedFile("incbin::"));
  EXPECT_EQ(readLocator("incbin::note.txt"), std::optional<std::string>("second"));
  EXPECT_FALSE(readLocator("/no/such/file"));
}

TEST(FitCentred, KeepsTheAspectAndCentresWithBands) {
  // The map on a 1280 x 1024 screen: as tall as the screen, bands left and right.
  EXPECT_EQ(fitCentred(1000, 1415, 1280, 1024), (Rect{278, 0, 723, 1024}));
  // A wide picture in a tall area: bands above and below.
  EXPECT_EQ(fitCentred(200, 100, 100, 300), (Rect{0, 125, 100, 50}));
  // Same proportions: the whole area.
  EXPECT_EQ(fitCentred(313, 208, 626, 416), (Rect{0, 0, 626, 416}));
  // Degenerate sizes: nothing to draw, never a division by zero.
  EXPECT_EQ(fitCentred(0, 10, 100, 100), Rect{});
  EXPECT_EQ(fitCentred(10, 10, 0, 100), Rect{});
  // An extreme picture still gets at least one pixel.
  EXPECT_EQ(fitCentred(100000, 1, 100, 100).height, 1);
}

}  // namespace
}  // namespace vh
