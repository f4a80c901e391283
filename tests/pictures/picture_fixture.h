// Hand-built pictures for the picture tests and the window's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/pixel_map.h"
#include "pictures/picture.h"
#include "tests/test_support.h"

namespace vh::test {

// A 24-bit BMP of `width` x `height` with the rows given top to bottom as
// RGB triples; stored bottom-up unless `topDown`.
inline std::string bmp(int width, int height, const std::vector<std::vector<uint32_t>>& rows, bool topDown = false) {
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

inline uint32_t rgbAt(const PixelMap& p, int x, int y) { return p.getPixel(x, y) & 0xFFFFFF; }

inline std::vector<uint8_t> rgbaOf(const Picture& p, int x, int y) {
  const size_t at = (static_cast<size_t>(y) * p.width + x) * 4;
  return {p.rgba[at], p.rgba[at + 1], p.rgba[at + 2], p.rgba[at + 3]};
}

}  // namespace vh::test
