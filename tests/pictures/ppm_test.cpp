#include "pictures/ppm.h"

#include <gtest/gtest.h>

#include "tests/pictures/picture_fixture.h"

namespace vh {
namespace {

using test::rgbaOf;

TEST(Ppm, ReadsHeadersWithCommentsAndOtherScales) {
  const Picture p = decodePpm(std::string("P6\n# made by hand\n2 1\n255\n") + "\x01\x02\x03\xFF\xFE\xFD").value();
  EXPECT_EQ(p.width, 2);
  EXPECT_EQ(rgbaOf(p, 1, 0), (std::vector<uint8_t>{255, 254, 253, 255}));
  const Picture small = decodePpm(std::string("P6 1 1 15 ") + std::string("\x0F\x00\x08", 3)).value();
  EXPECT_EQ(rgbaOf(small, 0, 0), (std::vector<uint8_t>{255, 0, 136, 255}));
  const Picture wide = decodePpm(std::string("P6 1 1 65535\n") + std::string("\xFF\xFF\x00\x00\x80\x00", 6)).value();
  EXPECT_EQ(rgbaOf(wide, 0, 0), (std::vector<uint8_t>{255, 0, 128, 255}));
  Picture round;
  round.width = 1;
  round.height = 2;
  round.rgba = {9, 8, 7, 0, 6, 5, 4, 255};
  EXPECT_EQ(encodePpm(round), std::string("P6\n1 2\n255\n\x09\x08\x07\x06\x05\x04"));
}

TEST(Ppm, DamagedIsAFaultThatSaysWhat) {
  const struct {
    std::string bytes;
    const char* fault;
  } cases[] = {
      {"P3\n1 1\n255\n", "not a binary PPM (P6) file"},
      {"P6\n1\n", "PPM header damaged: no height"},
      {"P6\nx 1 255\n", "PPM header damaged: no width"},
      {"P6\n2 2\n255\n\x01\x02\x03", "PPM data ends early"},
      {"P6 1 1 0 abc", "PPM largest sample value must be 1 to 65535"},
      {"P6 1 1 255", "PPM header damaged: no space before the pixels"},
      {"P6 20000 1 255 ", "PPM picture of 20000 x 1 is larger than an XMG image can be (16384 a side)"},
      {"P6 99999999999999 1 255 ", "PPM width is too large"},
  };
  for (const auto& c : cases) {
    const Result<Picture> refused = decodePpm(c.bytes);
    ASSERT_FALSE(refused.ok()) << c.bytes;
    EXPECT_EQ(refused.fault().detail, c.fault);
  }
}
}  // namespace
}  // namespace vh
