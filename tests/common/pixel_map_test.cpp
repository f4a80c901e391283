#include "common/pixel_map.h"

#include <gtest/gtest.h>

namespace vh {
namespace {

TEST(PixelMap, RowsArePaddedToFourBytes) {
  EXPECT_EQ(PixelMap(1, 1).stride(), 4u);
  EXPECT_EQ(PixelMap(4, 1).stride(), 12u);
  EXPECT_EQ(PixelMap(5, 2).stride(), 16u);
  EXPECT_EQ(PixelMap(0, 0).stride(), 0u);
}

TEST(PixelMap, ExchangesArgbAndStoresRedGreenBlue) {
  PixelMap map(3, 2);
  map.setPixel(2, 1, 0x80112233);  // alpha is dropped
  EXPECT_EQ(map.getPixel(2, 1), 0xFF112233u);
  const uint8_t* p = map.row(1) + 6;
  EXPECT_EQ(p[0], 0x11);
  EXPECT_EQ(p[1], 0x22);
  EXPECT_EQ(p[2], 0x33);
  EXPECT_EQ(map.getPixel(0, 0), 0xFF000000u);
}

TEST(PixelMap, WindowSharesPixels) {
  PixelMap map(10, 10);
  PixelMap view = map.window(2, 3, 4, 5);
  EXPECT_EQ(view.width(), 4);
  EXPECT_EQ(view.height(), 5);
  view.setPixel(0, 0, 0xFFABCDEF);
  EXPECT_EQ(map.getPixel(2, 3), 0xFFABCDEFu);
  map.setPixel(5, 7, 0xFF010203);
  EXPECT_EQ(view.getPixel(3, 4), 0xFF010203u);
  PixelMap inner = view.window(1, 1, 2, 2);  // a window of a window
  inner.setPixel(1, 1, 0xFF0A0B0C);
  EXPECT_EQ(map.getPixel(4, 5), 0xFF0A0B0Cu);
}

TEST(PixelMap, RefusesPixelsAndWindowsOutsideIt) {
  PixelMap map(4, 4);
  EXPECT_THROW(map.getPixel(4, 0), std::out_of_range);
  EXPECT_THROW(map.setPixel(0, -1, 0), std::out_of_range);
  EXPECT_THROW(map.window(2, 2, 3, 1), std::out_of_range);
  EXPECT_THROW(map.window(-1, 0, 1, 1), std::out_of_range);
  EXPECT_NO_THROW(map.window(4, 4, 0, 0));
  EXPECT_THROW(PixelMap(-1, 3), std::invalid_argument);
}

}  // namespace
}  // namespace vh
