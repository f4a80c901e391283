// The row passes themselves, included only by the row_passes_<level>.cpp
// files, each of which the build compiles for its own x86-64 level. Plain
// loops over arrays without branches, so that the compiler vectorises them;
// internal linkage for the reason row_arithmetic.h gives.
#pragma once

#include <bit>
#include <cstring>

#include "xmg/row_arithmetic.h"
#include "xmg/row_passes.h"
#include "xmg/xmg.h"

namespace vh {
namespace {

constexpr size_t kYuvPayloadBytes = 6;

// A copy that vectorises where byte groups of six do not.
void splitPayloads(const uint8_t* __restrict payload, int blocks, uint16_t* __restrict top,
                   uint16_t* __restrict bottom, uint16_t* __restrict chroma) {
  for (int i = 0; i < blocks; ++i) {
    uint16_t upper, lower, pair;
    std::memcpy(&upper, payload + kYuvPayloadBytes * i, 2);
    std::memcpy(&lower, payload + kYuvPayloadBytes * i + 2, 2);
    std::memcpy(&pair, payload + kYuvPayloadBytes * i + 4, 2);
    top[i] = upper;
    bottom[i] = lower;
    chroma[i] = pair;
  }
}

void chromaOffsets(const uint16_t* __restrict chroma, int blocks, int16_t* __restrict red,
                   int16_t* __restrict green, int16_t* __restrict blue) {
  static_assert(std::endian::native == std::endian::little, "a chroma pair is read as Cr in the low byte");
  for (int i = 0; i < blocks; ++i) {
    const int16_t e = static_cast<int16_t>((chroma[i] & 0xFF) - 128);  // Cr
    const int16_t h = static_cast<int16_t>((chroma[i] >> 8) - 128);    // Cb
    const int32_t r =
        (wideProduct(kRedFromCr.high, e) + (wideProduct(kRedFromCr.low, e) >> kOffsetSplit)) >> kOffsetShift;
    const int32_t g = (-wideProduct(kGreenFromCb.high, h) - wideProduct(kGreenFromCr.high, e) +
                       ((-wideProduct(kGreenFromCb.low, h) - wideProduct(kGreenFromCr.low, e)) >> kOffsetSplit)) >>
                      kOffsetShift;
    const int32_t b =
        (wideProduct(kBlueFromCb.high, h) + (wideProduct(kBlueFromCb.low, h) >> kOffsetSplit)) >> kOffsetShift;
    red[2 * i] = red[2 * i + 1] = static_cast<int16_t>(r);
    green[2 * i] = green[2 * i + 1] = static_cast<int16_t>(g);
    blue[2 * i] = blue[2 * i + 1] = static_cast<int16_t>(b);
  }
}

// A row's colours one at a time and then put together: the baseline vectors
// cannot put groups of three bytes together, and the arithmetic then
// vectorises at every level.
void colours(const uint8_t* __restrict luma, int pixels, const int16_t* __restrict red,
             const int16_t* __restrict green, const int16_t* __restrict blue, uint8_t* __restrict r,
             uint8_t* __restrict g, uint8_t* __restrict b) {
  for (int j = 0; j < pixels; ++j) {
    const int16_t y = luma[j];
    r[j] = static_cast<uint8_t>(clampByte(y + red[j]));
    g[j] = static_cast<uint8_t>(clampByte(y + green[j]));
    b[j] = static_cast<uint8_t>(clampByte(y + blue[j]));
  }
}

void interleave(const uint8_t* __restrict r, const uint8_t* __restrict g, const uint8_t* __restrict b, int pixels,
                uint8_t* __restrict out) {
  for (int j = 0; j < pixels; ++j) {
    out[3 * j] = r[j];
    out[3 * j + 1] = g[j];
    out[3 * j + 2] = b[j];
  }
}

// The colours apart first, for the same reason as above.
void splitColours(const uint8_t* __restrict pixels, int count, uint8_t* __restrict red, uint8_t* __restrict green,
                  uint8_t* __restrict blue) {
  for (int i = 0; i < count; ++i) {
    red[i] = pixels[3 * i];
    green[i] = pixels[3 * i + 1];
    blue[i] = pixels[3 * i + 2];
  }
}

void sampleRow(const uint8_t* __restrict red, const uint8_t* __restrict green, const uint8_t* __restrict blue,
               int count, uint8_t* __restrict luma, uint8_t* __restrict mask, int16_t* __restrict redDiff,
               int16_t* __restrict blueDiff) {
  for (int i = 0; i < count; ++i) {
    const uint16_t r = red[i], g = green[i], b = blue[i];
    const uint16_t place0 = lumaPlace(kLuma0, r, g, b, 0);
    const uint16_t place1 = lumaPlace(kLuma1, r, g, b, static_cast<uint16_t>(place0 >> 3));
    const uint16_t place2 = lumaPlace(kLuma2, r, g, b, static_cast<uint16_t>(place1 >> 8));
    const uint16_t y = static_cast<uint16_t>(lumaPlace(kLuma3, r, g, b, static_cast<uint16_t>(place2 >> 8)) >> 8);
    luma[i] = static_cast<uint8_t>(y);
    mask[i] = static_cast<uint8_t>((r == tXMGEncoder::MASK_R) & (g == tXMGEncoder::MASK_G) & (b == tXMGEncoder::MASK_B));
    redDiff[i] = static_cast<int16_t>(r - y);
    blueDiff[i] = static_cast<int16_t>(b - y);
  }
}

int sumBlocks(int blocks, const uint8_t* __restrict maskTop, const uint8_t* __restrict maskBottom,
              const int16_t* __restrict redTop, const int16_t* __restrict redBottom,
              const int16_t* __restrict blueTop, const int16_t* __restrict blueBottom, uint8_t* __restrict masks,
              uint8_t* __restrict chroma, uint8_t* __restrict steps) {
  uint8_t any = 0;
  for (int i = 0; i < blocks; ++i) {
    const int l = 2 * i, r = 2 * i + 1;
    masks[i] = static_cast<uint8_t>(maskTop[l] + maskTop[r] + maskBottom[l] + maskBottom[r]);
    const int32_t cr = chromaByDiff(kRedChroma, redTop[l] + redTop[r] + redBottom[l] + redBottom[r]);
    const int32_t cb = chromaByDiff(kBlueChroma, blueTop[l] + blueTop[r] + blueBottom[l] + blueBottom[r]);
    chroma[l] = static_cast<uint8_t>(cr);
    chroma[r] = static_cast<uint8_t>(cb);
    steps[i] = static_cast<uint8_t>((cr | cb) < 0);
    any |= static_cast<uint8_t>(masks[i] | (steps[i] << 4));
  }
  return any;
}

// The table of this file's level.
constexpr RowPasses kRowPassesHere = {splitPayloads, chromaOffsets, colours,  interleave,
                                      splitColours,  sampleRow,     sumBlocks};

}  // namespace
}  // namespace vh
