#include <gtest/gtest.h>

#include "xmg/xmg.h"

namespace vh {
namespace {

struct Rgb {
  int r, g, b;
};

Rgb split(uint32_t argb) {
  EXPECT_EQ(argb >> 24, 255u) << "alpha";
  return {static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF), static_cast<int>(argb & 0xFF)};
}

#define EXPECT_RGB(argb, R, G, B)   \
  do {                              \
    const Rgb c = split(argb);      \
    EXPECT_EQ(c.r, R) << "red";     \
    EXPECT_EQ(c.g, G) << "green";   \
    EXPECT_EQ(c.b, B) << "blue";    \
  } while (0)

TEST(YuvTest, ClampAndPack) {
  EXPECT_EQ(clampComponent(-1, 255), 0);
  EXPECT_EQ(clampComponent(256, 255), 255);
  EXPECT_EQ(clampComponent(70000, 65535), 65535);
  EXPECT_EQ(clampComponent(17, 255), 17);
  EXPECT_EQ(packARGB(0x11, 0x22, 0x33, 0x44), 0x44112233u);
}

TEST(YuvTest, PerPixelConversionSamples) {
  EXPECT_RGB(yuvToARGB(76, 255, 85), 254, 0, 0);
  EXPECT_RGB(yuvToARGB(128, 128, 128), 128, 128, 128);
  EXPECT_RGB(yuvToARGB(178, 1, 171), 0, 253, 254);
  // Red and blue clamp at both ends rather than wrap.
  const Rgb high = split(yuvToARGB(255, 255, 255));
  EXPECT_EQ(high.r, 255);
  EXPECT_EQ(high.b, 255);
  const Rgb low = split(yuvToARGB(0, 0, 0));
  EXPECT_EQ(low.r, 0);
  EXPECT_EQ(low.b, 0);
  // Truncation toward zero, not rounding: 100 + 1.402 x 10 = 114.02, and
  // 1 - 1.402 x 1 = -0.402 which is 0, not -1 wrapped.
  EXPECT_EQ(split(yuvToARGB(100, 138, 128)).r, 114);
  EXPECT_EQ(split(yuvToARGB(1, 127, 128)).r, 0);
  // 10 + 1.772 x 127 = 235.04.
  EXPECT_EQ(split(yuvToARGB(10, 128, 255)).b, 235);
}

TEST(YuvTest, TableSampleEntries) {
  tYUVTable t;
  EXPECT_EQ(t.YT[200], 0);  // a new table is zero
  EXPECT_EQ(t.setup(), 0);
  struct Row {
    int i;
    int64_t cbB, crR, cbG, crG, yt;
  };
  const Row rows[] = {
      {0, -58163, -45940, -11272, -23396, 0},
      {1, -57708, -45581, -11184, -23213, 256},
      {127, -454, -358, -88, -182, 32512},
      {128, 0, 0, 0, 0, 32768},
      {255, 57708, 45581, 11184, 23213, 65280},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.i);
    EXPECT_EQ(t.YCbB[row.i], row.cbB);
    EXPECT_EQ(t.YCrR[row.i], row.crR);
    EXPECT_EQ(t.YCbG[row.i], row.cbG);
    EXPECT_EQ(t.YCrG[row.i], row.crG);
    EXPECT_EQ(t.YT[row.i], row.yt);
  }
  EXPECT_EQ(&tYUVTable::shared(), &tYUVTable::shared());
  EXPECT_EQ(tYUVTable::shared().YCbB[0], -58163);
}

TEST(YuvTest, TableConversionClampsInFixedPoint) {
  const tYUVTable& t = tYUVTable::shared();
  EXPECT_RGB(t.getRGBA(128, 128, 128), 128, 128, 128);
  // R = 45581 >> 8; G = 11272 - 23213 clamps to 0; B = -58163 clamps to 0.
  EXPECT_RGB(t.getRGBA(0, 255, 0), 178, 0, 0);
  // R = (65280 - 45940) >> 8; G and B clamp at 65535.
  EXPECT_RGB(t.getRGBA(255, 0, 255), 75, 255, 255);
}

}  // namespace
}  // namespace vh
