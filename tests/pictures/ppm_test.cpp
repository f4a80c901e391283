#include "pictures/ppm.h"

#include <gtest/gtest.h>

#include "tests/pictures/picture_fixture.h"

namespace vh {
namespace {

using test::rgbaOf;

TEST(Ppm, ReadsHeadersWithCommentsAndOtherScales) {
  const Picture p = decodePpm(std::string("P6\n# made by hand\n2 1\n255\n") + "\x01\x02\x03\xFF\xFE\xFD");
  EXPECT_EQ(p.width, 2);
  EXPECT_EQ(rgbaOf(p, 1, 0), (std::vector<uint8_t>{255, 254, 253, 255}));
  const Picture small = decodePpm(std::string("P6 1 1 15 ") + std::string("\x0F\x00\x08", 3));
  EXPECT_EQ(rgbaOf(small, 0, 0), (std::vector<uint8_t>{255, 0, 136, 255}));
  const Picture wide = decodePpm(std::string("P6 1 1 65535\n") + std::string("\xFF\xFF\x00\x00\x80\x00", 6));
  EXPECT_EQ(rgbaOf(wide, 0, 0), (std::vector<uint8_t>{255, 0, 128, 255}));
  Picture round;
  round.width = 1;
  round.height = 2;
  round.rgba = {9, 8, 7, 0, 6, 5, 4, 255};
  EXPECT_EQ(encodePpm(round), std::string("P6\n1 2\n255\n\x09\x08\x07\x06\x05\x04"));
}

TEST(Ppm, DamagedIsAnError) {
  for (const std::string& bad : {std::string("P3\n1 1\n255\n"), std::string("P6\n1\n"), std::string("P6\nx 1 255\n"),
                                 std::string("P6\n2 2\n255\n\x01\x02\x03"), std::string("P6 1 1 0 abc"),
                                 std::string("P6 1 1 255"), std::string("P6 20000 1 255 "),
                                 std::string("P6 99999999999999 1 255 ")}) {
    EXPECT_THROW(decodePpm(bad), PictureError) << bad;
  }
}
}  // namespace
}  // namespace vh
