#include "pictures/bmp.h"

#include <gtest/gtest.h>

#include "pictures/picture.h"
#include "tests/pictures/picture_fixture.h"

namespace vh {
namespace {

using test::bmp;
using test::rgbAt;

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
  for (size_t cut = 0; cut < good.size(); ++cut) {
    EXPECT_THROW(decodeBmp(good.substr(0, cut)), PictureError) << cut;
  }
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

TEST(Bmp, TheTitleIsA24BitBmpOfItsSize) {
  const PixelMap title = decodeBmp(test::readFile(std::string(VH_SOURCE_DIR) + "/assets/title.bmp"));
  EXPECT_EQ(title.width(), 313);
  EXPECT_EQ(title.height(), 208);
}

}  // namespace
}  // namespace vh
