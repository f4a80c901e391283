#include <cmath>

#include "xmg/xmg.h"
#include "xmg/yuv_constants.h"

namespace vh {

uint32_t yuvToARGB(uint8_t y, int32_t cr, int32_t cb) {
  const double e = static_cast<double>(cr) - 128;
  const double h = static_cast<double>(cb) - 128;
  // Every product and sum here is exact in double precision, so the only
  // rounding is the truncation toward zero before the clamp.
  const int64_t r = clampComponent(static_cast<int64_t>(y + xmgconst::k1402 * e), 255);
  const int64_t g = clampComponent(static_cast<int64_t>((y - xmgconst::k0344 * h) - xmgconst::k0714 * e), 255);
  const int64_t b = clampComponent(static_cast<int64_t>(y + xmgconst::k1772 * h), 255);
  return packARGB(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), 255);
}

int tYUVTable::setup() {
  for (int i = 0; i < 256; ++i) {
    const double a = i - 128;
    YCbB[i] = static_cast<int64_t>(a * YCbBS);
    YCrR[i] = static_cast<int64_t>(a * YCrRS);
    YCbG[i] = static_cast<int64_t>(a * YCbGS);
    YCrG[i] = static_cast<int64_t>(a * YCrGS);
    YT[i] = static_cast<int64_t>(i) * 256;
  }
  return 0;
}

uint32_t tYUVTable::getRGBA(uint8_t y, uint8_t cr, uint8_t cb) const {
  const int64_t t = YT[y];
  const int64_t r = clampComponent(t + YCrR[cr], 65535) >> 8;
  const int64_t g = clampComponent(t - YCbG[cb] - YCrG[cr], 65535) >> 8;
  const int64_t b = clampComponent(t + YCbB[cb], 65535) >> 8;
  return packARGB(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), 255);
}

const tYUVTable& tYUVTable::shared() {
  static const tYUVTable table = [] {
    tYUVTable t;
    t.setup();
    return t;
  }();
  return table;
}

}  // namespace vh
