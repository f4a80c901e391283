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

  // A header that claims 15950 x 13875 grey pixels in 91 bytes, found by the
  // fuzzer, would have had a 660 MB picture allocated and grey-filled: cut
  // off inside its scan header it is damaged; given whole scan data and an
  // end it is still far too small for its sides.
  const std::string claimsTooMuch =
      test::readFile(std::string(VH_SOURCE_DIR) + "/tests/malformed/jpeg/huge-sides-few-bytes.jpg");
  const std::string claimsTooMuchWhole = claimsTooMuch + std::string(64, '\0') + "\xFF\xD9";
  const struct {
    std::string bytes;
    const char* because;
  } refusals[] = {
      {"not a picture", "Not a JPEG file"},
      {map.substr(0, 200), ""},
      {"", ""},
      {map.substr(0, map.size() / 2), "Premature end of JPEG file"},
      {claimsTooMuch, "Premature end of JPEG file"},
      {claimsTooMuchWhole, "picture is larger than its data"},
  };
  for (const auto& bad : refusals) {
    const Result<PixelMap> refused = decodeJpeg(bad.bytes);
    ASSERT_FALSE(refused.ok()) << bad.bytes.size();
    EXPECT_TRUE(refused.fault().detail.starts_with("JPEG picture cannot be decoded: ")) << refused.fault().detail;
    EXPECT_NE(refused.fault().detail.find(bad.because), std::string::npos) << refused.fault().detail;
  }
}

}  // namespace
}  // namespace vh
