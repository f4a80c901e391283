// The row passes for every x86-64 processor, and the only table in builds
// that compile no others. The baseline's vectors (SSE2) have no byte
// shuffle and no 32-bit multiply, so the compiler leaves the passes that
// take groups of three or six bytes apart or put them together one element
// at a time, and builds each 32-bit product of the chroma arithmetic out of
// shifts. Those passes are written here for SSE2 itself: the groups are
// taken apart and put together by repeated perfect shuffles, which the
// unpack and pack instructions are, and the products are 16 x 16 bit
// multiply-adds. Each gives the bytes of the portable pass
// (row_pass_bodies.h); the other passes are the portable ones.
#include "xmg/row_pass_bodies.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vh {
namespace {

#ifdef __SSE2__

// ---- perfect shuffles -------------------------------------------------------
//
// Six registers hold a sequence of 96 bytes (or 48 16-bit units). A riffle
// interleaves its first half with its second: the element at x < n/2 moves
// to 2x, the one at n/2 + x to 2x + 1, so x moves to 2x mod (n - 1). A deal
// is the inverse: the even elements, then the odd ones.
//
// 96 bytes of 32 three-byte pixels hold colour c of pixel p at 3p + c; five
// riffles move it to 32 * (3p + c) mod 95 = 32c + p, so the colours come out
// as three planes, and five deals put three planes back together. 48 units
// of 16 blocks' three 16-bit parts need four riffles (16 * 3 = 48 = 1 mod 47).

constexpr int kShuffleRegisters = 6;
using Registers = __m128i[kShuffleRegisters];

template <typename UnpackLow, typename UnpackHigh>
inline void riffle(Registers v, UnpackLow unpackLow, UnpackHigh unpackHigh) {
  const __m128i a = unpackLow(v[0], v[3]), b = unpackHigh(v[0], v[3]);
  const __m128i c = unpackLow(v[1], v[4]), d = unpackHigh(v[1], v[4]);
  const __m128i e = unpackLow(v[2], v[5]), f = unpackHigh(v[2], v[5]);
  v[0] = a;
  v[1] = b;
  v[2] = c;
  v[3] = d;
  v[4] = e;
  v[5] = f;
}

inline void riffleBytes(Registers v) {
  riffle(v, [](__m128i x, __m128i y) { return _mm_unpacklo_epi8(x, y); },
         [](__m128i x, __m128i y) { return _mm_unpackhi_epi8(x, y); });
}

inline void riffleUnits(Registers v) {
  riffle(v, [](__m128i x, __m128i y) { return _mm_unpacklo_epi16(x, y); },
         [](__m128i x, __m128i y) { return _mm_unpackhi_epi16(x, y); });
}

inline void dealBytes(Registers v) {
  const __m128i low = _mm_set1_epi16(0x00FF);
  __m128i even[3], odd[3];
  for (int i = 0; i < 3; ++i) {
    even[i] = _mm_packus_epi16(_mm_and_si128(v[2 * i], low), _mm_and_si128(v[2 * i + 1], low));
    odd[i] = _mm_packus_epi16(_mm_srli_epi16(v[2 * i], 8), _mm_srli_epi16(v[2 * i + 1], 8));
  }
  for (int i = 0; i < 3; ++i) {
    v[i] = even[i];
    v[3 + i] = odd[i];
  }
}

inline void load(Registers v, const void* from) {
  for (int i = 0; i < kShuffleRegisters; ++i) v[i] = _mm_loadu_si128(static_cast<const __m128i*>(from) + i);
}

// Registers `first` and `first + 1`, 32 bytes, to `to`.
inline void storePair(const Registers v, int first, void* to) {
  _mm_storeu_si128(static_cast<__m128i*>(to), v[first]);
  _mm_storeu_si128(static_cast<__m128i*>(to) + 1, v[first + 1]);
}

// ---- the decoder --------------------------------------------------------

constexpr int kBlocksAtOnce = 16;
constexpr int kPixelsAtOnce = 32;

void splitPayloadsSse2(const uint8_t* __restrict payload, int blocks, uint16_t* __restrict top,
                       uint16_t* __restrict bottom, uint16_t* __restrict chroma) {
  int i = 0;
  for (; i + kBlocksAtOnce <= blocks; i += kBlocksAtOnce) {
    Registers v;
    load(v, payload + kYuvPayloadBytes * i);
    for (int layer = 0; layer < 4; ++layer) riffleUnits(v);
    storePair(v, 0, top + i);
    storePair(v, 2, bottom + i);
    storePair(v, 4, chroma + i);
  }
  splitPayloads(payload + kYuvPayloadBytes * i, blocks - i, top + i, bottom + i, chroma + i);
}

// One colour's offsets of four blocks from the products of their (Cr - 128,
// Cb - 128) pairs with the high and low parts of its constants.
inline __m128i offsetOf(__m128i pairs, __m128i high, __m128i low) {
  const __m128i lowUnits = _mm_srai_epi32(_mm_madd_epi16(pairs, low), kOffsetSplit);
  return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, high), lowUnits), kOffsetShift);
}

// The offsets of eight blocks, each twice over for its two pixels.
inline void storeOffsets(__m128i pairsLow, __m128i pairsHigh, __m128i high, __m128i low, int16_t* to) {
  const __m128i offsets = _mm_packs_epi32(offsetOf(pairsLow, high, low), offsetOf(pairsHigh, high, low));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi16(offsets, offsets));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to) + 1, _mm_unpackhi_epi16(offsets, offsets));
}

// The constants of one colour against a (Cr, Cb) pair.
inline __m128i pairConstant(int16_t ofCr, int16_t ofCb) { return _mm_set1_epi32((ofCb * 65536) | (ofCr & 0xFFFF)); }

void chromaOffsetsSse2(const uint16_t* __restrict chroma, int blocks, int16_t* __restrict red,
                       int16_t* __restrict green, int16_t* __restrict blue) {
  constexpr int kAtOnce = 8;
  const __m128i redHigh = pairConstant(kRedFromCr.high, 0), redLow = pairConstant(kRedFromCr.low, 0);
  const __m128i greenHigh = pairConstant(static_cast<int16_t>(-kGreenFromCr.high),
                                         static_cast<int16_t>(-kGreenFromCb.high));
  const __m128i greenLow =
      pairConstant(static_cast<int16_t>(-kGreenFromCr.low), static_cast<int16_t>(-kGreenFromCb.low));
  const __m128i blueHigh = pairConstant(0, kBlueFromCb.high), blueLow = pairConstant(0, kBlueFromCb.low);
  const __m128i low = _mm_set1_epi16(0x00FF), centre = _mm_set1_epi16(128);
  int i = 0;
  for (; i + kAtOnce <= blocks; i += kAtOnce) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chroma + i));
    const __m128i cr = _mm_sub_epi16(_mm_and_si128(c, low), centre);
    const __m128i cb = _mm_sub_epi16(_mm_srli_epi16(c, 8), centre);
    const __m128i pairsLow = _mm_unpacklo_epi16(cr, cb), pairsHigh = _mm_unpackhi_epi16(cr, cb);
    storeOffsets(pairsLow, pairsHigh, redHigh, redLow, red + 2 * i);
    storeOffsets(pairsLow, pairsHigh, greenHigh, greenLow, green + 2 * i);
    storeOffsets(pairsLow, pairsHigh, blueHigh, blueLow, blue + 2 * i);
  }
  chromaOffsets(chroma + i, blocks - i, red + 2 * i, green + 2 * i, blue + 2 * i);
}

void interleaveSse2(const uint8_t* __restrict r, const uint8_t* __restrict g, const uint8_t* __restrict b,
                    int pixels, uint8_t* __restrict out) {
  int j = 0;
  for (; j + kPixelsAtOnce <= pixels; j += kPixelsAtOnce) {
    Registers v;
    for (int half = 0; half < 2; ++half) {
      v[half] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + j) + half);
      v[2 + half] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + j) + half);
      v[4 + half] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + j) + half);
    }
    for (int layer = 0; layer < 5; ++layer) dealBytes(v);
    for (int k = 0; k < kShuffleRegisters; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * j) + k, v[k]);
  }
  interleave(r + j, g + j, b + j, pixels - j, out + 3 * j);
}

// ---- the encoder --------------------------------------------------------

void splitColoursSse2(const uint8_t* __restrict pixels, int count, uint8_t* __restrict red,
                      uint8_t* __restrict green, uint8_t* __restrict blue) {
  int i = 0;
  for (; i + kPixelsAtOnce <= count; i += kPixelsAtOnce) {
    Registers v;
    load(v, pixels + 3 * i);
    for (int layer = 0; layer < 5; ++layer) riffleBytes(v);
    storePair(v, 0, red + i);
    storePair(v, 2, green + i);
    storePair(v, 4, blue + i);
  }
  splitColours(pixels + 3 * i, count - i, red + i, green + i, blue + i);
}

// chromaByDiff for four blocks, each a pair of 16-bit differences in the
// top row and a pair in the bottom: k x the sum of the four as two
// multiply-adds with k's high part and two with its low part. Each 32-bit
// lane one block: its chroma byte before the clamp, and all ones where the
// steps must decide it.
struct FourChroma {
  __m128i whole;
  __m128i near;
};

inline FourChroma chromaOfFour(__m128i top, __m128i bottom, ChromaConstant k) {
  const __m128i high = _mm_set1_epi16(static_cast<int16_t>(k.high)), low = _mm_set1_epi16(static_cast<int16_t>(k.low));
  const __m128i byHigh = _mm_add_epi32(_mm_madd_epi16(top, high), _mm_madd_epi16(bottom, high));
  const __m128i byLow = _mm_add_epi32(_mm_madd_epi16(top, low), _mm_madd_epi16(bottom, low));
  const __m128i t = _mm_add_epi32(_mm_add_epi32(_mm_set1_epi32(128 << 16), byHigh), _mm_srai_epi32(byLow, kChromaSplit));
  // Near a whole number: the fraction below kChromaNear or kChromaNear or
  // fewer short of the next, that is (fraction + kChromaNear) mod 2^16 below
  // 2 x kChromaNear.
  const __m128i shifted = _mm_and_si128(_mm_add_epi32(t, _mm_set1_epi32(kChromaNear)), _mm_set1_epi32(0xFFFF));
  // The whole part fits 16 bits (|k x sum| < 2^26), so the packs below keep
  // it; a negative t has a negative whole part, which the byte pack makes 0.
  return {_mm_srai_epi32(t, 16), _mm_cmplt_epi32(shifted, _mm_set1_epi32(2 * kChromaNear))};
}

// Two blocks' lanes of each of four, Cr and Cb side by side as the payload
// holds them.
inline __m128i sideBySide(__m128i cr0, __m128i cb0, __m128i cr1, __m128i cb1) {
  return _mm_packs_epi16(_mm_packs_epi32(_mm_unpacklo_epi32(cr0, cb0), _mm_unpackhi_epi32(cr0, cb0)),
                         _mm_packs_epi32(_mm_unpacklo_epi32(cr1, cb1), _mm_unpackhi_epi32(cr1, cb1)));
}

int sumBlocksSse2(int blocks, const uint8_t* __restrict maskTop, const uint8_t* __restrict maskBottom,
                  const int16_t* __restrict redTop, const int16_t* __restrict redBottom,
                  const int16_t* __restrict blueTop, const int16_t* __restrict blueBottom, uint8_t* __restrict masks,
                  uint8_t* __restrict chroma, uint8_t* __restrict steps) {
  constexpr int kAtOnce = 8;
  __m128i any = _mm_setzero_si128();
  const auto at = [](const int16_t* row, int pixel) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + pixel));
  };
  int i = 0;
  for (; i + kAtOnce <= blocks; i += kAtOnce) {
    const int l = 2 * i;
    // Each 16-bit lane's two mask bytes (one block's pixels in a row) added.
    const __m128i maskPairs = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(maskTop + l)),
                                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(maskBottom + l)));
    const __m128i maskCounts =
        _mm_add_epi16(_mm_and_si128(maskPairs, _mm_set1_epi16(0x00FF)), _mm_srli_epi16(maskPairs, 8));
    const __m128i masksHere = _mm_packus_epi16(maskCounts, maskCounts);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(masks + i), masksHere);

    // Cr and Cb of blocks i to i + 3, then of i + 4 to i + 7.
    const FourChroma cr0 = chromaOfFour(at(redTop, l), at(redBottom, l), kRedChroma);
    const FourChroma cb0 = chromaOfFour(at(blueTop, l), at(blueBottom, l), kBlueChroma);
    const FourChroma cr1 = chromaOfFour(at(redTop, l + 8), at(redBottom, l + 8), kRedChroma);
    const FourChroma cb1 = chromaOfFour(at(blueTop, l + 8), at(blueBottom, l + 8), kBlueChroma);
    const __m128i wholes = _mm_packus_epi16(
        _mm_packs_epi32(_mm_unpacklo_epi32(cr0.whole, cb0.whole), _mm_unpackhi_epi32(cr0.whole, cb0.whole)),
        _mm_packs_epi32(_mm_unpacklo_epi32(cr1.whole, cb1.whole), _mm_unpackhi_epi32(cr1.whole, cb1.whole)));
    const __m128i nears = sideBySide(cr0.near, cb0.near, cr1.near, cb1.near);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(chroma + l), _mm_or_si128(wholes, nears));

    const __m128i needs = _mm_packs_epi32(_mm_or_si128(cr0.near, cb0.near), _mm_or_si128(cr1.near, cb1.near));
    const __m128i stepsHere = _mm_and_si128(_mm_packs_epi16(needs, needs), _mm_set1_epi8(1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(steps + i), stepsHere);
    any = _mm_or_si128(any, _mm_or_si128(masksHere, _mm_slli_epi16(stepsHere, 4)));
  }
  alignas(16) uint8_t lanes[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), any);
  int anyHere = 0;
  for (int k = 0; k < 8; ++k) anyHere |= lanes[k];
  return anyHere | sumBlocks(blocks - i, maskTop + 2 * i, maskBottom + 2 * i, redTop + 2 * i, redBottom + 2 * i,
                             blueTop + 2 * i, blueBottom + 2 * i, masks + i, chroma + 2 * i, steps + i);
}

constexpr RowPasses kBaselineHere = {splitPayloadsSse2, chromaOffsetsSse2, colours,  interleaveSse2,
                                     splitColoursSse2,  sampleRow,         sumBlocksSse2};

#else

constexpr RowPasses kBaselineHere = kRowPassesHere;

#endif

}  // namespace

const RowPasses kBaselineRowPasses = kBaselineHere;
}  // namespace vh
