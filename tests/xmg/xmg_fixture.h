// Hand-built XMG images and small helpers shared by the codec's tests.
#pragma once

#include <string>

#include "common/byte_buffer.h"
#include "common/pixel_map.h"
#include "common/stream.h"
#include "tests/test_support.h"
#include "xmg/xmg.h"

namespace vh::test {

// The 28 header bytes of a `width` x `height` image with the given mask.
inline Bytes xmgHeader(int32_t width, int32_t height, uint8_t r = 0, uint8_t g = 255, uint8_t b = 255) {
  Bytes h;
  h.i32(3)                      // version
      .u8(r).u8(g).u8(b).u8(0)  // mask red, green, blue; void
      .i32(width)
      .i32(height)
      .u32(static_cast<uint32_t>(width) * 3u)  // linelength, wrapping as the writer does
      .i32(0)          // unknown3
      .i32(0);         // unknown4
  return h;
}

inline PixelMap decodeXmg(const std::string& bytes, tXMGLoader* loader = nullptr) {
  tXMGLoader own;
  MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
  return (loader ? *loader : own).toPixmap(in);
}

inline std::string encodeXmg(const PixelMap& map) {
  return written([&](Stream& out) { tXMGEncoder().saveXMG(map, out); });
}

inline uint32_t rgb(uint8_t r, uint8_t g, uint8_t b) { return packARGBValue(255, r, g, b); }

}  // namespace vh::test
