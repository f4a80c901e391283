#include "pictures/jpeg.h"

#include <gtest/gtest.h>

#include "pictures/picture.h"
#include "tests/pictures/picture_fixture.h"

namespace vh {
namespace {

using test::rgbAt;

TEST(Jpeg, TheMapIsABaselineJpegOfItsSizeAndDamageIsAnError) {
  const std::string map = test::readFile(std::string(VH_SOURCE_DIR) + "/assets/map.jpg");
  // Baseline: a start-of-frame 0 marker and no progressive one.
  EXPECT_NE(map.find("\xFF\xC0"), std::string::npos);
  EXPECT_EQ(map.find("\xFF\xC2"), std::string::npos);
  const PixelMap picture = decodeJpeg(map).value();
  EXPECT_EQ(picture.width(), 1000);
  EXPECT_EQ(picture.height(), 1415);
  // The border is dark brown, not black: the picture has real content.
  EXPECT_NE(rgbAt(picture, 2, 2), 0u);

  for (const std::string& bad : {std::string("not a picture"), map.substr(0, 200), std::string()}) {
    const Result<PixelMap> refused = decodeJpeg(bad);
    ASSERT_FALSE(refused.ok()) << bad.size();
    EXPECT_TRUE(refused.fault().detail.starts_with("JPEG picture cannot be decoded: ")) << refused.fault().detail;
  }
}

}  // namespace
}  // namespace vh
