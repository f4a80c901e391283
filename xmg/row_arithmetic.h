// The exact fixed-point arithmetic the row passes and the encoder's block
// rule share. Every name here has internal linkage on purpose: the row
// passes are compiled once per x86-64 level, and a helper that a level's
// file and a baseline file both emitted under one name could be merged by
// the linker into the later level's copy, which older processors cannot
// run. So each file gets its own copy, compiled for its own level.
#pragma once

#include <cstdint>

#include "xmg/yuv_constants.h"

namespace vh {
namespace {

// ---- the decoder ----------------------------------------------------------

// yuvToARGB for whole blocks at once. With y a whole number, trunc(y + v)
// and y + floor(v) agree wherever the clamp lets them differ from 0, and the
// offsets v are exact in fixed point (see yuv_constants.h): so one offset per
// colour and block, added to each luma byte and clamped, gives the bytes of
// the per-pixel conversion. The offsets do not fit 32 bits; each constant is
// split at bit 13, the low parts' products are floored to whole 2^13 units
// and added to the high parts', and since the floor of a floor is the floor
// of the whole, shifting that gives the offset in 32-bit arithmetic. At bit
// 13 both parts fit 16 bits, as the chroma differences do, so every product
// is a 16 x 16 bit one, which even the baseline's vectors multiply.
constexpr int kOffsetSplit = 13;
constexpr int kOffsetShift = xmgconst::kFixedShift - kOffsetSplit;

struct SplitConstant {
  int16_t high;
  int16_t low;
};

constexpr SplitConstant splitConstant(int64_t fixed) {
  return {static_cast<int16_t>(fixed >> kOffsetSplit), static_cast<int16_t>(fixed & ((1 << kOffsetSplit) - 1))};
}

constexpr SplitConstant kRedFromCr = splitConstant(xmgconst::k1402Fixed);
constexpr SplitConstant kGreenFromCb = splitConstant(xmgconst::k0344Fixed);
constexpr SplitConstant kGreenFromCr = splitConstant(xmgconst::k0714Fixed);
constexpr SplitConstant kBlueFromCb = splitConstant(xmgconst::k1772Fixed);
static_assert((xmgconst::k1402Fixed | xmgconst::k0344Fixed | xmgconst::k0714Fixed | xmgconst::k1772Fixed) >>
                  kOffsetSplit <=
              INT16_MAX);

// The product of two 16-bit values in 32 bits, written so that the
// vectoriser sees a widening multiply.
inline int32_t wideProduct(int16_t a, int16_t b) { return static_cast<int32_t>(a) * static_cast<int32_t>(b); }

inline int16_t clampByte(int16_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// ---- the encoder ----------------------------------------------------------

// Luma is 0.299f R + 0.587f G + 0.114f B truncated; the sum is exact in
// fixed point and never negative, so truncation is a shift. It needs 35
// bits; for rows, where narrow lanes mean more pixels per vector, each
// constant is cut into digits of 8, 8, 8 and 3 bits. The three constants add
// up to just over 1, so their digits at each place add up to at most 255:
// every digit's weighted sum of a pixel, with the carry of the place below,
// fits 16 bits, and the floor of a floor being the floor of the whole, the
// carried sums give the luma byte exactly.
constexpr int64_t kLumaConstants[3] = {xmgconst::k0299Fixed, xmgconst::k0587Fixed, xmgconst::k0114Fixed};
struct LumaDigits {
  uint16_t d[3];
};
constexpr LumaDigits lumaDigits(int shift, int bits) {
  LumaDigits digits{};
  for (int c = 0; c < 3; ++c) digits.d[c] = static_cast<uint16_t>((kLumaConstants[c] >> shift) & ((1 << bits) - 1));
  return digits;
}
constexpr LumaDigits kLuma0 = lumaDigits(0, 3);
constexpr LumaDigits kLuma1 = lumaDigits(3, 8);
constexpr LumaDigits kLuma2 = lumaDigits(11, 8);
constexpr LumaDigits kLuma3 = lumaDigits(19, 8);
static_assert(xmgconst::kFixedShift == 27 && (kLumaConstants[0] | kLumaConstants[1] | kLumaConstants[2]) < (1 << 27));
static_assert(kLuma0.d[0] + kLuma0.d[1] + kLuma0.d[2] <= 255 && kLuma1.d[0] + kLuma1.d[1] + kLuma1.d[2] <= 255 &&
              kLuma2.d[0] + kLuma2.d[1] + kLuma2.d[2] <= 255 && kLuma3.d[0] + kLuma3.d[1] + kLuma3.d[2] <= 255);

inline uint16_t lumaPlace(LumaDigits k, uint16_t r, uint16_t g, uint16_t b, uint16_t carry) {
  return static_cast<uint16_t>(r * k.d[0] + g * k.d[1] + b * k.d[2] + carry);
}

// A chroma byte without the game coder's float steps. Every term is a whole
// number of 2^-24 units, so the exact sum is an integer, and it depends on
// the pixels only through the sum of their differences (-1020 to 1020). The
// float steps differ from it by at most four roundings of half a float unit
// at magnitudes below 1024, 2^11 units in all; only when the exact value of
// 4 x (128 + sum / 4) lies within 2^13 units of a whole number can the
// rounding change the truncated byte, and only then are the steps needed.
// In 32 bits: the constant is split at bit 10 as the luma constants are,
// so t below counts units of 2^-16 (floored), and "within 2^13 units of
// 2^-26" is a fraction below 8 of them, or 8 or fewer short of the next
// whole number, which also takes in a few values just outside the margin.
constexpr int kChromaSplit = 10;
constexpr int kChromaNear = 8;
struct ChromaConstant {
  int32_t high;
  int32_t low;
};
constexpr ChromaConstant kRedChroma = {static_cast<int32_t>(xmgconst::k0713Units >> kChromaSplit),
                                       static_cast<int32_t>(xmgconst::k0713Units & ((1 << kChromaSplit) - 1))};
constexpr ChromaConstant kBlueChroma = {static_cast<int32_t>(xmgconst::k0564Units >> kChromaSplit),
                                        static_cast<int32_t>(xmgconst::k0564Units & ((1 << kChromaSplit) - 1))};
static_assert(xmgconst::kChromaShift + 2 - kChromaSplit == 16);

// The chroma byte for a sum of differences, or -1 when the steps decide it.
inline int32_t chromaByDiff(ChromaConstant k, int32_t diff) {
  const int32_t t = (128 << 16) + k.high * diff + ((k.low * diff) >> kChromaSplit);
  const int32_t fraction = t & 0xFFFF;
  const int32_t whole = t >> 16;
  const int32_t byte = t < 0 ? 0 : (whole < 255 ? whole : 255);
  return fraction < kChromaNear || fraction >= 0x10000 - kChromaNear ? -1 : byte;
}

}  // namespace
}  // namespace vh
