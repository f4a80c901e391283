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
    const PixelMap p = decodeBmp(bmp(3, 2, rows, topDown)).value();
    ASSERT_EQ(p.width(), 3);
    ASSERT_EQ(p.height(), 2);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) EXPECT_EQ(rgbAt(p, x, y), rows[y][x]) << x << "," << y << " topDown " << topDown;
    }
  }
}

TEST(Bmp, RefusesWhatItCannotShowWithoutReadingPastTheData) {
  const std::string good = bmp(3, 2, {{1, 2, 3}, {4, 5, 6}});
  ASSERT_EQ(decodeBmp(good).value().width(), 3);
  // Every cut of a valid picture, down to nothing.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    const Result<PixelMap> cutShort = decodeBmp(good.substr(0, cut));
    ASSERT_FALSE(cutShort.ok()) << cut;
    // Too short for the headers it is no BMP; with them, it is cut short.
    EXPECT_EQ(cutShort.fault().detail, cut < 54 ? "not a BMP picture" : "BMP picture is cut short") << cut;
  }
  EXPECT_FALSE(decodeBmp("PNG not a bitmap at all, but long enough to hold a header......").ok());
  // One header byte changed each.
  const struct {
    size_t at;
    char value;
    const char* what;
    FaultKind kind;
  } damages[] = {
      {28, 8, "8 bits a pixel", FaultKind::Damaged},
      {30, 1, "compressed", FaultKind::Damaged},
      {22, 0x10, "taller than the data backs", FaultKind::BadSize},
      {21, 0x7F, "wider than any screen", FaultKind::BadSize},
      {13, 0x7F, "pixels beyond the end", FaultKind::BadSize},
  };
  for (const auto& damage : damages) {
    std::string bad = good;
    bad[damage.at] = damage.value;
    const Result<PixelMap> refused = decodeBmp(bad);
    ASSERT_FALSE(refused.ok()) << damage.what;
    EXPECT_EQ(refused.fault().kind, damage.kind) << damage.what;
  }
}

TEST(Bmp, TheTitleIsA24BitBmpOfItsSize) {
  const PixelMap title = decodeBmp(test::readFile(std::string(VH_SOURCE_DIR) + "/assets/title.bmp")).value();
  EXPECT_EQ(title.width(), 313);
  EXPECT_EQ(title.height(), 208);
}

}  // namespace
}  // namespace vh
