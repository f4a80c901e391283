// The codec's passes over whole rows, as one table of functions per x86-64
// level. The passes are written so that the compiler vectorises them; the
// program is built for any x86-64 processor, whose baseline vectors are
// narrow, so the build also compiles them for the later levels
// (row_passes_<level>.cpp, each with its level's instruction set) and the
// table of the highest level the processor runs is chosen once
// (codec_level.h). The later levels' tables are the same source; the
// baseline's vectors lack the shuffles and multiplies some passes need, so
// its table has those passes written for SSE2 itself
// (row_passes_baseline.cpp). Every table gives the same bytes.
#pragma once

#include <cstdint>

#include "xmg/codec_level.h"

namespace vh {

struct RowPasses {
  // The decoder's CYUV stretch of a block row (xmg_loader.cpp).
  //
  // The luma pairs of each row and the chroma pair of each block of
  // `blocks` six-byte payloads, as 16-bit units.
  void (*splitPayloads)(const uint8_t* payload, int blocks, uint16_t* top, uint16_t* bottom, uint16_t* chroma);
  // The red, green and blue offsets of each pixel, from its block's chroma
  // pair (two pixels a block).
  void (*chromaOffsets)(const uint16_t* chroma, int blocks, int16_t* red, int16_t* green, int16_t* blue);
  // A row's colours, each its luma byte plus its offset, clamped.
  void (*colours)(const uint8_t* luma, int pixels, const int16_t* red, const int16_t* green, const int16_t* blue,
                  uint8_t* r, uint8_t* g, uint8_t* b);
  // Three planes into red, green, blue bytes.
  void (*interleave)(const uint8_t* r, const uint8_t* g, const uint8_t* b, int pixels, uint8_t* out);

  // The encoder's row pair (xmg_encoder.cpp).
  //
  // Red, green, blue bytes into three planes.
  void (*splitColours)(const uint8_t* pixels, int count, uint8_t* red, uint8_t* green, uint8_t* blue);
  // Each pixel's luma byte, mask flag and red and blue differences from its
  // luma.
  void (*sampleRow)(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int count, uint8_t* luma,
                    uint8_t* mask, int16_t* redDiff, int16_t* blueDiff);
  // Per block of a row pair: its mask pixel count, its chroma pair where the
  // fixed-point rule settles it (the byte of -1 where not) and whether the
  // float steps must decide it. Returns the OR of every mask count and of
  // every steps flag shifted up by 4.
  int (*sumBlocks)(int blocks, const uint8_t* maskTop, const uint8_t* maskBottom, const int16_t* redTop,
                   const int16_t* redBottom, const int16_t* blueTop, const int16_t* blueBottom, uint8_t* masks,
                   uint8_t* chroma, uint8_t* steps);
};

// The table in use: the one useCodecLevel chose, or else the highest level
// both the build and the processor have.
const RowPasses& rowPasses();
// The table of a level; null for a level the build did not compile.
const RowPasses* rowPassesOf(CodecLevel level);

// One table per level, each defined in its row_passes_<level>.cpp; the
// later levels only where the build compiles them (VH_CODEC_LEVELS).
extern const RowPasses kBaselineRowPasses;
extern const RowPasses kV2RowPasses;
extern const RowPasses kV3RowPasses;
extern const RowPasses kV4RowPasses;

}  // namespace vh
