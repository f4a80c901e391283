#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>

#include "tests/xmg/xmg_fixture.h"

namespace vh {
namespace {

using test::decodeXmg;
using test::encodeXmg;
using test::rgb;
using test::xmgHeader;

CODEC_LEVEL_SUITE(XmgEncoderTest);

const uint32_t kMask = rgb(0, 255, 255);

std::string runsOf(const std::string& encoded) { return encoded.substr(tXMGHeader::kSize); }

PixelMap filled(int w, int h, uint32_t colour) {
  PixelMap map(w, h);
  map.fill(colour);
  return map;
}

tXMGBlock blockOf(uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br) {
  PixelMap map(2, 2);
  map.setPixel(0, 0, tl);
  map.setPixel(1, 0, tr);
  map.setPixel(0, 1, bl);
  map.setPixel(1, 1, br);
  return tXMGEncoder().doSample(map, 0, 0);
}

std::string bytesOf(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

template <size_t N>
std::string bytesOf(const std::array<uint8_t, N>& values) {
  return std::string(values.begin(), values.end());
}

TEST_P(XmgEncoderTest, PureRedImage) {
  const std::string encoded = encodeXmg(filled(2, 2, rgb(255, 0, 0)));
  EXPECT_EQ(encoded.substr(0, 28), xmgHeader(2, 2).bytes());
  EXPECT_EQ(runsOf(encoded), bytesOf({0x01, 76, 76, 76, 76, 255, 85}));
  EXPECT_EQ(decodeXmg(encoded).getPixel(1, 1), rgb(254, 0, 0));
}

TEST_P(XmgEncoderTest, LumaAndAveragedChroma) {
  // Red, blue, green, white: the chroma of the four pixels averages out.
  EXPECT_EQ(bytesOf(blockOf(rgb(255, 0, 0), rgb(0, 0, 255), rgb(0, 255, 0), rgb(255, 255, 255)).toYUV()),
            bytesOf({76, 29, 149, 255, 128, 128}));
  const uint32_t white = rgb(255, 255, 255), black = rgb(0, 0, 0), grey = rgb(77, 77, 77);
  EXPECT_EQ(bytesOf(blockOf(white, white, white, white).toYUV()), bytesOf({255, 255, 255, 255, 128, 128}));
  EXPECT_EQ(bytesOf(blockOf(black, black, black, black).toYUV()), bytesOf({0, 0, 0, 0, 128, 128}));
  EXPECT_EQ(bytesOf(blockOf(grey, grey, grey, grey).toYUV()), bytesOf({77, 77, 77, 77, 128, 128}));
  // Blue alone: Y = trunc(0.114 x 255) = 29, Cb = 128 + 0.564 x 226 = 255.46
  // clamped, Cr = 128 - 0.713 x 29 = 107.3.
  const uint32_t blue = rgb(0, 0, 255);
  EXPECT_EQ(bytesOf(blockOf(blue, blue, blue, blue).toYUV()), bytesOf({29, 29, 29, 29, 107, 255}));
}

TEST_P(XmgEncoderTest, ChromaIsSummedInSinglePrecision) {
  // Blocks whose chroma sums are exactly 0 in double precision but a hair
  // below 0 once each step is rounded to float: the float sums give 127.
  EXPECT_EQ(bytesOf(blockOf(rgb(188, 180, 224), rgb(121, 155, 45), rgb(226, 182, 99), rgb(82, 68, 226)).toYUV()),
            bytesOf({187, 132, 185, 90, 132, 127}));
  EXPECT_EQ(bytesOf(blockOf(rgb(3, 247, 27), rgb(219, 28, 189), rgb(144, 216, 144), rgb(222, 141, 23)).toYUV()),
            bytesOf({148, 103, 186, 151, 127, 99}));
}

TEST_P(XmgEncoderTest, PlainColourPayloadIsRedGreenBlueInBlockOrder) {
  const tXMGBlock block = blockOf(rgb(1, 2, 3), rgb(4, 5, 6), rgb(7, 8, 9), rgb(10, 11, 12));
  EXPECT_EQ(bytesOf(block.toRGB()), bytesOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(block.r[1][0], 4);  // [column][row]
  EXPECT_EQ(block.b[0][1], 9);
}

TEST_P(XmgEncoderTest, BlockModesCountMaskPixels) {
  const uint32_t c = rgb(1, 1, 1);
  EXPECT_EQ(blockOf(c, c, c, c).colorMode, tXMGEncoder::CYUV);
  EXPECT_EQ(blockOf(c, kMask, c, c).colorMode, tXMGEncoder::cRGB);
  EXPECT_EQ(blockOf(kMask, kMask, kMask, c).colorMode, tXMGEncoder::cRGB);
  EXPECT_EQ(blockOf(kMask, kMask, kMask, kMask).colorMode, tXMGEncoder::CVOID);
  // Alpha plays no part; a near miss is no mask.
  EXPECT_EQ(blockOf(kMask & 0x00FFFFFF, kMask, kMask, kMask).colorMode, tXMGEncoder::CVOID);
  EXPECT_EQ(blockOf(rgb(1, 255, 255), kMask, kMask, kMask).colorMode, tXMGEncoder::cRGB);
  EXPECT_EQ(tXMGEncoder::isMask(0, 255, 255), 1);
  EXPECT_EQ(tXMGEncoder::isMask(0, 255, 254), 0);
}

TEST_P(XmgEncoderTest, AllMaskImageIsOneOpcode) {
  EXPECT_EQ(runsOf(encodeXmg(filled(4, 4, kMask))), bytesOf({0x44}));
}

TEST_P(XmgEncoderTest, OnePixelMaskImageIsAPlainColourBlock) {
  // Its three outside pixels count as black, not mask.
  EXPECT_EQ(runsOf(encodeXmg(filled(1, 1, kMask))), bytesOf({0x81, 0, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_P(XmgEncoderTest, RunsSplitAtSixtyThreeAndFourThousandNinetyFive) {
  // Width 2 x blocks, height 2: one block row of the given length.
  const std::string run63 = runsOf(encodeXmg(filled(2 * 63, 2, rgb(9, 9, 9))));
  EXPECT_EQ(run63.size(), 1u + 63 * 6);
  EXPECT_EQ(static_cast<uint8_t>(run63[0]), 0x3F);
  const std::string run64 = runsOf(encodeXmg(filled(2 * 64, 2, rgb(9, 9, 9))));
  EXPECT_EQ(run64.size(), 2u + 64 * 6);
  EXPECT_EQ(run64.substr(0, 2), bytesOf({0xC0, 0x40}));
  // 4100 and 8190 mask blocks, across block rows.
  EXPECT_EQ(runsOf(encodeXmg(filled(2 * 41, 2 * 100, kMask))), bytesOf({0xDF, 0xFF, 0x45}));
  EXPECT_EQ(runsOf(encodeXmg(filled(2 * 90, 2 * 91, kMask))), bytesOf({0xDF, 0xFF, 0xDF, 0xFF}));
  // A colour run of 4160 blocks: 4095, then a remainder of 65 that still
  // takes a two-byte opcode.
  const std::string colour = runsOf(encodeXmg([] {
    PixelMap map(2 * 4160, 2);
    for (int x = 0; x < map.width(); ++x) map.setPixel(x, 0, kMask);
    return map;
  }()));
  ASSERT_EQ(colour.size(), 2u + 4095 * 12 + 2 + 65 * 12);
  EXPECT_EQ(colour.substr(0, 2), bytesOf({0xEF, 0xFF}));
  EXPECT_EQ(colour.substr(2 + 4095 * 12, 2), bytesOf({0xE0, 0x41}));
}

TEST_P(XmgEncoderTest, RunsChangeWithTheBlockMode) {
  // CYUV, CYUV, CVOID, CVOID, CYUV along one block row.
  PixelMap map = filled(10, 2, rgb(128, 128, 128));
  for (int x = 4; x < 8; ++x) {
    map.setPixel(x, 0, kMask);
    map.setPixel(x, 1, kMask);
  }
  const std::string grey = bytesOf({128, 128, 128, 128, 128, 128});
  EXPECT_EQ(runsOf(encodeXmg(map)), "\x02" + grey + grey + "\x42" + "\x01" + grey);
}

TEST_P(XmgEncoderTest, HeadersAndEmptyImages) {
  EXPECT_EQ(encodeXmg(PixelMap(5, 0)), xmgHeader(5, 0).bytes());
  EXPECT_EQ(encodeXmg(PixelMap(0, 0)), xmgHeader(0, 0).bytes());
  const std::string fiveByThree = encodeXmg(filled(5, 3, rgb(1, 2, 3)));
  EXPECT_EQ(fiveByThree.substr(0, 28), xmgHeader(5, 3).bytes());  // linelength 15
  EXPECT_EQ(fiveByThree.size(), 28u + 1 + 6 * 6);                  // 3 x 2 blocks in one run
  // A window encodes its own pixels only.
  PixelMap big = filled(6, 6, rgb(0, 0, 0));
  big.setPixel(2, 2, rgb(255, 255, 255));
  const PixelMap view = big.window(2, 2, 2, 2);
  EXPECT_EQ(runsOf(encodeXmg(view)), bytesOf({0x01, 255, 0, 0, 0, 128, 128}));
}

TEST_P(XmgEncoderTest, RoundTripKeepsMaskPixelsExactlyAndOthersWithinRounding) {
  std::mt19937 rng(2024);
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {2, 2}, {3, 5}, {8, 8}, {17, 9}, {64, 33}, {130, 4}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    PixelMap map(w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        // Smooth colour with some mask pixels and patches: luma keeps each
        // pixel's brightness and the block shares one chroma pair, so the
        // error bound is about the spread of colour within a block.
        const bool mask = rng() % 7 == 0 || (x / 4 + y / 4) % 5 == 0;
        const int base = (x * 3 + y * 5) % 200;
        map.setPixel(x, y, mask ? kMask : rgb(base + rng() % 8, base + rng() % 8, base + rng() % 8));
      }
    }
    const PixelMap back = decodeXmg(encodeXmg(map));
    ASSERT_EQ(back.width(), w);
    ASSERT_EQ(back.height(), h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const uint32_t a = map.getPixel(x, y), b = back.getPixel(x, y);
        if (a == kMask) {
          ASSERT_EQ(b, kMask) << x << "," << y;
          continue;
        }
        for (int shift : {16, 8, 0}) {
          const int d = static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255);
          ASSERT_LE(std::abs(d), 12) << x << "," << y << " shift " << shift;
        }
      }
    }
  }
}

TEST_P(XmgEncoderTest, PlainColourBlocksComeBackExactly) {
  std::mt19937 rng(5);
  PixelMap map(33, 21);
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 33; ++x) map.setPixel(x, y, rng() % 5 == 0 ? kMask : rgb(rng() & 255, rng() & 255, rng() & 255));
  const std::string first = encodeXmg(map);
  const PixelMap decoded = decodeXmg(first);
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 33; ++x) {
      if (map.getPixel(x, y) == kMask) {
        ASSERT_EQ(decoded.getPixel(x, y), kMask);
      }
    }
  }
  // The plain-colour blocks come back exactly.
  int exactBlocks = 0;
  for (int by = 0; by < 21; by += 2) {
    for (int bx = 0; bx < 33; bx += 2) {
      const tXMGBlock block = tXMGEncoder().doSample(map, bx, by);
      if (block.colorMode != tXMGEncoder::cRGB) continue;
      ++exactBlocks;
      for (int dy = 0; dy < 2 && by + dy < 21; ++dy) {
        for (int dx = 0; dx < 2 && bx + dx < 33; ++dx) {
          ASSERT_EQ(decoded.getPixel(bx + dx, by + dy), map.getPixel(bx + dx, by + dy));
        }
      }
    }
  }
  EXPECT_GT(exactBlocks, 10);
}

// The chroma bytes the way the format defines them: float sums stepped in
// double. The encoder takes a shortcut that must agree everywhere.
std::array<uint8_t, 6> referenceYUV(const tXMGBlock& block) {
  const int ox[4] = {0, 1, 0, 1}, oy[4] = {0, 0, 1, 1};
  std::array<uint8_t, 6> out{};
  float accCb = 0, accCr = 0;
  for (int k = 0; k < 4; ++k) {
    const int R = block.r[ox[k]][oy[k]], G = block.g[ox[k]][oy[k]], B = block.b[ox[k]][oy[k]];
    const int64_t Y = clampComponent(static_cast<int64_t>(static_cast<double>(0.299f) * R +
                                                          static_cast<double>(0.587f) * G +
                                                          static_cast<double>(0.114f) * B),
                                     255);
    out[k] = static_cast<uint8_t>(Y);
    accCb = static_cast<float>(static_cast<double>(accCb) + static_cast<double>(0.564f) * static_cast<double>(B - Y));
    accCr = static_cast<float>(static_cast<double>(accCr) + static_cast<double>(0.713f) * static_cast<double>(R - Y));
  }
  out[4] = static_cast<uint8_t>(clampComponent(static_cast<int64_t>(128 + static_cast<double>(accCr) / 4), 255));
  out[5] = static_cast<uint8_t>(clampComponent(static_cast<int64_t>(128 + static_cast<double>(accCb) / 4), 255));
  return out;
}

// The blocks of an encoded picture in raster order: mode and where the
// payload starts.
struct WrittenBlock {
  int mode;
  size_t at;
};

std::vector<WrittenBlock> blocksOf(const std::string& encoded) {
  std::vector<WrittenBlock> blocks;
  size_t at = tXMGHeader::kSize;
  while (at < encoded.size()) {
    const uint8_t op = static_cast<uint8_t>(encoded[at++]);
    int mode = op >> 6;
    size_t count = op & 0x3F;
    if (op >= 0xC0) {
      mode = (op >> 4) & 3;
      count = (static_cast<size_t>(op & 0x0F) << 8) | static_cast<uint8_t>(encoded[at++]);
    }
    const size_t size = mode == 0 ? 6 : (mode == 2 ? 12 : 0);
    for (size_t i = 0; i < count; ++i, at += size) blocks.push_back({mode, at});
  }
  return blocks;
}

TEST_P(XmgEncoderTest, LumaOfEveryColourIsTheTruncatedWeightedSum) {
  // Every 24-bit colour once, in a 4096 x 4096 picture: the luma bytes come
  // from saveXMG's row passes. The one block holding the mask colour is cRGB.
  constexpr int kSide = 4096;
  PixelMap picture(kSide, kSide);
  for (int y = 0; y < kSide; ++y) {
    uint8_t* p = picture.row(y);
    for (int x = 0; x < kSide; ++x, p += 3) {
      const uint32_t colour = static_cast<uint32_t>(y) * kSide + x;
      p[0] = static_cast<uint8_t>(colour >> 16);
      p[1] = static_cast<uint8_t>(colour >> 8);
      p[2] = static_cast<uint8_t>(colour);
    }
  }
  const std::string encoded = encodeXmg(picture);
  const std::vector<WrittenBlock> blocks = blocksOf(encoded);
  ASSERT_EQ(blocks.size(), static_cast<size_t>(kSide / 2) * (kSide / 2));
  long plain = 0, mismatches = 0;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].mode != 0) {
      ++plain;
      continue;
    }
    const int bx = static_cast<int>(i % (kSide / 2)) * 2, by = static_cast<int>(i / (kSide / 2)) * 2;
    for (int k = 0; k < 4; ++k) {
      const uint8_t* p = picture.row(by + k / 2) + (bx + k % 2) * 3;
      const int64_t expected = clampComponent(
          static_cast<int64_t>(static_cast<double>(0.299f) * p[0] + static_cast<double>(0.587f) * p[1] +
                               static_cast<double>(0.114f) * p[2]),
          255);
      if (static_cast<uint8_t>(encoded[blocks[i].at + k]) != expected && ++mismatches < 5) {
        ADD_FAILURE() << "colour " << int{p[0]} << ", " << int{p[1]} << ", " << int{p[2]};
      }
    }
  }
  EXPECT_EQ(plain, 1);
  EXPECT_EQ(mismatches, 0);
}

TEST_P(XmgEncoderTest, FastChromaAgreesWithTheFloatStepsOnMillionsOfBlocks) {
  // The blocks, one by one through toYUV and all together as one picture
  // through saveXMG, whose row passes take another way to the same bytes.
  constexpr int kBlocksPerRow = 1000, kBlockRows = 3000;
  PixelMap picture(2 * kBlocksPerRow, 2 * kBlockRows);
  std::vector<std::array<uint8_t, 6>> expected;
  expected.reserve(kBlocksPerRow * kBlockRows);
  std::mt19937 rng(11);
  tXMGBlock block;
  long mismatches = 0;
  for (int i = 0; i < kBlocksPerRow * kBlockRows; ++i) {
    // Every other block nearly grey, where sums land on whole numbers most.
    const bool nearGrey = i % 2 == 0;
    const int base = static_cast<int>(rng() & 255);
    const int bx = 2 * (i % kBlocksPerRow), by = 2 * (i / kBlocksPerRow);
    for (int dx = 0; dx < 2; ++dx) {
      for (int dy = 0; dy < 2; ++dy) {
        auto pick = [&] {
          return static_cast<uint8_t>(nearGrey ? std::clamp(base + static_cast<int>(rng() % 7) - 3, 0, 255) : rng() & 255);
        };
        // Red 0 keeps the mask colour out of the picture.
        block.r[dx][dy] = std::max<uint8_t>(pick(), 1);
        block.g[dx][dy] = pick();
        block.b[dx][dy] = pick();
        picture.setPixel(bx + dx, by + dy, rgb(block.r[dx][dy], block.g[dx][dy], block.b[dx][dy]));
      }
    }
    expected.push_back(referenceYUV(block));
    if (block.toYUV() != expected.back() && ++mismatches < 5) {
      ADD_FAILURE() << "block " << i << " differs";
    }
  }
  EXPECT_EQ(mismatches, 0);

  const std::string encoded = encodeXmg(picture);
  const std::vector<WrittenBlock> written = blocksOf(encoded);
  ASSERT_EQ(written.size(), expected.size());
  mismatches = 0;
  for (size_t i = 0; i < written.size(); ++i) {
    if ((written[i].mode != 0 || encoded.compare(written[i].at, 6, bytesOf(expected[i])) != 0) && ++mismatches < 5) {
      ADD_FAILURE() << "block " << i << " of the picture differs";
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_P(XmgEncoderTest, SaveXmgWritesWhatTheBlockByBlockRuleWrites) {
  // The literal rule: sample each block, gather runs of equal mode, write
  // each with updateBuffer.
  const auto literal = [](const PixelMap& map) {
    return test::written([&](Stream& out) {
      tXMGEncoder encoder;
      tXMGHeader header;
      header.setupDefault();
      header.width = map.width();
      header.height = map.height();
      header.save(out);
      std::vector<tXMGBlock> list;
      uint8_t previous = 0;
      for (int y = 0; y < map.height(); y += 2) {
        int x = 0;
        do {
          const tXMGBlock block = encoder.doSample(map, x, y);
          if (!list.empty() && previous != block.colorMode) {
            encoder.updateBuffer(out, list, previous);
            list.clear();
          }
          previous = block.colorMode;
          list.push_back(block);
          x += 2;
        } while (x < map.width());
      }
      encoder.updateBuffer(out, list, previous);
    });
  };
  std::mt19937 rng(23);
  const auto random = [&rng] { return rgb(rng() & 255, rng() & 255, rng() & 255); };
  // Long mask stretches, colour patches and mixed blocks.
  const auto zones = [&](int x, int y) {
    const int zone = (x / 37 + y / 11) % 3;
    return zone == 0 ? kMask : (zone == 1 ? random() : (rng() % 4 == 0 ? kMask : rgb(90, 140, 200)));
  };
  // A figure in mask colour, as sprites are: whole row pairs of mask above
  // and below it, mask before and after it in the others.
  const auto sprite = [&](int x, int y) {
    const double dx = (x - 60) / 41.0, dy = (y - 30) / 17.0;
    return dx * dx + dy * dy > 1 ? kMask : random();
  };
  // Mask everywhere but where one colour byte of one pixel breaks it: in
  // the first or the last block of a row pair or one block in from either,
  // in the top or the bottom row, each byte of a block's six. Every fifth
  // row pair is mask throughout.
  const auto almost = [](int x, int y) {
    const int pairs = y / 2;
    const bool top = y % 2 == 0;
    if (pairs % 5 == 1 && x == 0 && !top) return rgb(0, 255, 254);
    if (pairs % 5 == 2 && x == 99 && top) return rgb(1, 255, 255);
    if (pairs % 5 == 3 && (x == 2 || x == 97)) return rgb(0, 254, 255);
    if (pairs % 5 == 4 && (x == 1 || x == 96) && top) return rgb(0, 255, 254);
    return kMask;
  };
  const auto mask = [](int, int) { return kMask; };
  const struct {
    const char* name;
    int w, h;
    std::function<uint32_t(int, int)> pixel;
  } kPictures[] = {
      {"zones", 1, 1, zones},    {"zones", 2, 2, zones},       {"zones", 7, 5, zones},    {"zones", 64, 3, zones},
      {"zones", 200, 90, zones}, {"zones", 9001, 2, zones},    {"zones", 0, 4, zones},    {"zones", 4, 0, zones},
      {"sprite", 121, 61, sprite}, {"sprite", 120, 60, sprite}, {"almost mask", 100, 20, almost},
      {"almost mask", 101, 19, almost}, {"mask", 9000, 3, mask}, {"mask", 1, 1, mask},
  };
  for (const auto& picture : kPictures) {
    const int w = picture.w, h = picture.h;
    PixelMap map(w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) map.setPixel(x, y, picture.pixel(x, y));
    }
    SCOPED_TRACE(picture.name);
    EXPECT_TRUE(encodeXmg(map) == literal(map)) << w << " x " << h;
  }
}

}  // namespace
}  // namespace vh
