#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "tests/xmg/xmg_fixture.h"

namespace vh {
namespace {

using test::Bytes;
using test::decodeXmg;
using test::rgb;
using test::xmgHeader;

CODEC_LEVEL_SUITE(XmgLoaderTest);

constexpr uint32_t kWhite = 0xFFFFFFFF;

// What one block of each mode is drawn as in the run tests below: CYUV all
// bytes 128 (grey), CVOID the header's mask 10, 20, 30, cRGB 1, 2, 3.
uint32_t runColour(int mode) {
  switch (mode) {
    case 0: return rgb(128, 128, 128);
    case 1: return rgb(10, 20, 30);
    default: return rgb(1, 2, 3);
  }
}

void appendPayloads(Bytes& b, int mode, int count) {
  for (int i = 0; i < count; ++i) {
    if (mode == 0) b.str(std::string(6, '\x80'));
    if (mode == 2) {
      for (int k = 0; k < 4; ++k) b.u8(1).u8(2).u8(3);
    }
  }
}

// An image two pixels wide, so block k sits at y = 2k: the opcode's run,
// then a one-block cRGB marker in pure blue. The run's count and payload
// size show in where the marker lands.
void expectRun(const std::string& opcode, int mode, int count) {
  ASSERT_FALSE(opcode.empty());
  SCOPED_TRACE(::testing::PrintToString(opcode));
  const int blocks = count + 2;
  Bytes b = xmgHeader(2, blocks * 2, 10, 20, 30);
  b.str(opcode);
  appendPayloads(b, mode, count);
  b.u8(0x81);
  for (int k = 0; k < 4; ++k) b.u8(0).u8(0).u8(255);
  const PixelMap image = decodeXmg(b);
  for (int k = 0; k < count; ++k) {
    ASSERT_EQ(image.getPixel(0, 2 * k), runColour(mode)) << "block " << k;
    ASSERT_EQ(image.getPixel(1, 2 * k + 1), runColour(mode)) << "block " << k;
  }
  EXPECT_EQ(image.getPixel(1, 2 * count + 1), rgb(0, 0, 255)) << "marker";
  EXPECT_EQ(image.getPixel(0, 2 * count + 2), kWhite) << "after the marker";
}

TEST_P(XmgLoaderTest, OpcodeFormsGiveTheirModesAndCounts) {
  expectRun(std::string(1, '\0'), 0, 0);
  expectRun("\x01", 0, 1);
  expectRun("\x3F", 0, 63);
  expectRun("\x40", 1, 0);
  expectRun("\x7F", 1, 63);
  expectRun("\x80", 2, 0);
  expectRun("\xBF", 2, 63);
  expectRun(std::string("\xC0\x00", 2), 0, 0);
  expectRun("\xCF\xFF", 0, 4095);
  expectRun(std::string("\xE1\x00", 2), 2, 256);
  expectRun("\xD0\x05", 1, 5);
  expectRun("\xEF\xFF", 2, 4095);
}

TEST_P(XmgLoaderTest, ModeThreeConsumesTwoBytesAndLeavesTheOriginWhereItWas) {
  // The 0x05 would be a CYUV run of five if it were read as an opcode.
  expectRun("\xF0\x05", 3, 0);
  expectRun(std::string("\xFE\x05\xF3\x00", 4), 3, 0);
}

TEST_P(XmgLoaderTest, OnePixelImageShowsOnlyTheTopLeftPixel) {
  const std::string bytes = Bytes(xmgHeader(1, 1)).u8(0x01).u8(200).u8(0).u8(0).u8(0).u8(128).u8(128);
  tXMGLoader loader;
  const PixelMap image = decodeXmg(bytes, &loader);
  ASSERT_EQ(image.width(), 1);
  ASSERT_EQ(image.height(), 1);
  EXPECT_EQ(image.getPixel(0, 0), rgb(200, 200, 200));
  ASSERT_NE(loader.header, nullptr);
  EXPECT_EQ(loader.header->width, 1);
}

TEST_P(XmgLoaderTest, ColourBytesAreRedGreenBlue) {
  Bytes b = xmgHeader(3, 2);
  b.u8(0x82);  // two cRGB blocks: the second's right column is in the margin
  for (int k = 0; k < 8; ++k) b.u8(static_cast<uint8_t>(10 * k)).u8(static_cast<uint8_t>(10 * k + 1)).u8(static_cast<uint8_t>(10 * k + 2));
  const PixelMap image = decodeXmg(b);
  ASSERT_EQ(image.width(), 3);
  EXPECT_EQ(image.getPixel(0, 0), rgb(0, 1, 2));
  EXPECT_EQ(image.getPixel(1, 0), rgb(10, 11, 12));
  EXPECT_EQ(image.getPixel(0, 1), rgb(20, 21, 22));
  EXPECT_EQ(image.getPixel(1, 1), rgb(30, 31, 32));
  EXPECT_EQ(image.getPixel(2, 0), rgb(40, 41, 42));
  EXPECT_EQ(image.getPixel(2, 1), rgb(60, 61, 62));
}

TEST_P(XmgLoaderTest, ARunContinuesAcrossBlockRows) {
  Bytes b = xmgHeader(4, 4);
  b.u8(0x04);
  for (int blk = 0; blk < 4; ++blk) {
    for (int k = 0; k < 4; ++k) b.u8(static_cast<uint8_t>(16 * blk + 4 * k));
    b.u8(128).u8(128);
  }
  const PixelMap image = decodeXmg(b);
  for (int blk = 0; blk < 4; ++blk) {
    const int x = (blk % 2) * 2, y = (blk / 2) * 2;
    for (int k = 0; k < 4; ++k) {
      const uint8_t v = static_cast<uint8_t>(16 * blk + 4 * k);
      EXPECT_EQ(image.getPixel(x + k % 2, y + k / 2), rgb(v, v, v)) << blk << "/" << k;
    }
  }
}

TEST_P(XmgLoaderTest, GreyBlackAndWhiteBlocks) {
  const std::string bytes = Bytes(xmgHeader(6, 2))
                                .u8(0x03)
                                .str(std::string(6, '\x80'))
                                .u8(0).u8(0).u8(0).u8(0).u8(128).u8(128)
                                .u8(255).u8(255).u8(255).u8(255).u8(128).u8(128);
  const PixelMap image = decodeXmg(bytes);
  EXPECT_EQ(image.getPixel(1, 1), rgb(128, 128, 128));
  EXPECT_EQ(image.getPixel(2, 0), rgb(0, 0, 0));
  EXPECT_EQ(image.getPixel(5, 1), rgb(255, 255, 255));
}

TEST_P(XmgLoaderTest, MaskBlocksTakeTheHeadersColour) {
  const PixelMap image = decodeXmg(Bytes(xmgHeader(2, 2, 10, 20, 30)).u8(0x41));
  EXPECT_EQ(image.getPixel(0, 0), rgb(10, 20, 30));
  EXPECT_EQ(image.getPixel(1, 1), rgb(10, 20, 30));
}

TEST_P(XmgLoaderTest, FieldsTheDecoderIgnoresDoNotChangeTheImage) {
  const std::string runs = Bytes().u8(0x41).u8(0x81).str(std::string(12, '\x07')).u8(0x01).str("\x10\x20\x30\x40\x50\x60");
  const std::string plain = xmgHeader(6, 2).bytes() + runs;
  const std::string odd = Bytes().i32(-9).u8(0).u8(255).u8(255).u8(0x5A).i32(6).i32(2).i32(12345).i32(-1).i32(0x7FFFFFFF).bytes() + runs;
  const PixelMap a = decodeXmg(plain);
  const PixelMap b = decodeXmg(odd);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(a.getPixel(x, y), b.getPixel(x, y));
}

TEST_P(XmgLoaderTest, DataEndingHalfWayLeavesTheRestWhite) {
  const PixelMap image = decodeXmg(Bytes(xmgHeader(4, 4)).u8(0x42));
  ASSERT_EQ(image.width(), 4);
  ASSERT_EQ(image.height(), 4);
  EXPECT_EQ(image.getPixel(3, 1), rgb(0, 255, 255));
  EXPECT_EQ(image.getPixel(0, 2), kWhite);
  EXPECT_EQ(image.getPixel(3, 3), kWhite);
}

TEST_P(XmgLoaderTest, ACyuvPayloadCutShortReusesThePreviousBlocksBytes) {
  // Two CYUV blocks; the second has only its first two luma bytes. The rest
  // of its payload is what the first block left: luma 30, 40, chroma 128.
  const std::string bytes = Bytes(xmgHeader(4, 2)).u8(0x02).u8(10).u8(20).u8(30).u8(40).u8(128).u8(128).u8(50).u8(60);
  const PixelMap image = decodeXmg(bytes);
  EXPECT_EQ(image.getPixel(2, 0), rgb(50, 50, 50));
  EXPECT_EQ(image.getPixel(3, 0), rgb(60, 60, 60));
  EXPECT_EQ(image.getPixel(2, 1), rgb(30, 30, 30));
  EXPECT_EQ(image.getPixel(3, 1), rgb(40, 40, 40));
}

TEST_P(XmgLoaderTest, ACyuvRunCutShortDrawsItsLaterBlocksFromTheLastBytes) {
  // A run of three whose payload ends after the first block and one byte.
  const std::string bytes = Bytes(xmgHeader(6, 2)).u8(0x03).u8(10).u8(20).u8(30).u8(40).u8(128).u8(128).u8(99);
  const PixelMap image = decodeXmg(bytes);
  EXPECT_EQ(image.getPixel(2, 0), rgb(99, 99, 99));
  EXPECT_EQ(image.getPixel(4, 0), rgb(99, 99, 99));
  EXPECT_EQ(image.getPixel(5, 1), rgb(40, 40, 40));
}

TEST_P(XmgLoaderTest, ACrgbRunCutShortDrawsMissingComponentsAsZero) {
  const std::string bytes = Bytes(xmgHeader(4, 2)).u8(0x82).str(std::string(12, '\x11')).u8(0x22).u8(0x33);
  const PixelMap image = decodeXmg(bytes);
  EXPECT_EQ(image.getPixel(2, 0), rgb(0x22, 0x33, 0));
  EXPECT_EQ(image.getPixel(3, 1), rgb(0, 0, 0));
}

TEST_P(XmgLoaderTest, EveryCutOfASmallImageDecodesToFullSizeWithoutFault) {
  const std::string whole = Bytes(xmgHeader(6, 6, 1, 2, 3))
                                .u8(0x02).str("\x10\x20\x30\x40\x80\x80").str("\x50\x60\x70\x80\x70\x90")
                                .u8(0xD0).u8(0x02)
                                .u8(0x81).str("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C")
                                .u8(0xF1).u8(0x00)
                                .u8(0x03).str(std::string(18, '\x55'));
  const PixelMap full = decodeXmg(whole);
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    const PixelMap image = decodeXmg(whole.substr(0, cut));
    if (cut < 28) continue;  // a cut header reads as zeros: a small or empty image
    ASSERT_EQ(image.width(), 6);
    ASSERT_EQ(image.height(), 6);
  }
  // Cut after the mask run: the blocks before it as in the whole image,
  // the rest white.
  const size_t afterMask = 28 + 13 + 2;
  const PixelMap part = decodeXmg(whole.substr(0, afterMask));
  EXPECT_EQ(part.getPixel(3, 1), full.getPixel(3, 1));
  EXPECT_EQ(part.getPixel(0, 2), rgb(1, 2, 3));
  EXPECT_EQ(part.getPixel(3, 3), kWhite);
  EXPECT_EQ(full.getPixel(3, 3), rgb(0x0A, 0x0B, 0x0C));
}

TEST_P(XmgLoaderTest, OpcodeFfIsReportedAsDamage) {
  const std::string bytes = Bytes(xmgHeader(4, 4)).u8(0x41).u8(0xFF).u8(0x41);
  try {
    decodeXmg(bytes);
    FAIL() << "no error";
  } catch (const XmgError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("XMG"), std::string::npos) << what;
    EXPECT_NE(what.find("0xFF"), std::string::npos) << what;
    EXPECT_NE(what.find("29"), std::string::npos) << what;  // its offset
  }
  EXPECT_THROW(decodeXmg(Bytes(xmgHeader(2, 2)).u8(0xFF)), XmgError);
}

TEST_P(XmgLoaderTest, DataAfterTheLastBlockRowIsNotRead) {
  const std::string bytes = Bytes(xmgHeader(2, 2)).u8(0x41).u8(0xFF).u8(0xFF);
  MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
  tXMGLoader loader;
  const PixelMap image = loader.toPixmap(in);
  EXPECT_EQ(image.getPixel(0, 0), rgb(0, 255, 255));
  EXPECT_EQ(in.position(), 29);
}

TEST_P(XmgLoaderTest, SizesOutsideTheLimitAreRejectedBeforeAllocating) {
  for (const auto& [w, h] : std::vector<std::pair<int32_t, int32_t>>{
           {-1, 2}, {2, -1}, {16385, 1}, {1, 16385}, {0x7FFFFFFF, 0x7FFFFFFF}, {INT32_MIN, 4}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    try {
      decodeXmg(xmgHeader(w, h));
      ADD_FAILURE() << "no error";
    } catch (const XmgError& e) {
      EXPECT_NE(std::string(e.what()).find("XMG image size"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(decodeXmg(xmgHeader(0, 0)).width(), 0);
  EXPECT_EQ(decodeXmg(Bytes(xmgHeader(0, 3)).u8(0x42)).height(), 3);
  EXPECT_EQ(decodeXmg(xmgHeader(16384, 1)).width(), 16384);
}

// decode() hands back what toPixmap throws: the fault's kind, and as its
// detail the very text of the XmgError.
TEST_P(XmgLoaderTest, DecodeReturnsTheFaultThatToPixmapThrows) {
  struct Case {
    std::string bytes;
    std::optional<FaultKind> kind;
  };
  const std::vector<Case> cases = {
      {Bytes(xmgHeader(2, 2)).u8(0x41), std::nullopt},
      {xmgHeader(16385, 1), FaultKind::BadSize},
      {Bytes(xmgHeader(4, 4)).u8(0x41).u8(0xFF), FaultKind::Damaged},
  };
  for (const Case& c : cases) {
    MemoryStream in(static_cast<const void*>(c.bytes.data()), c.bytes.size());
    tXMGLoader loader;
    const Result<PixelMap> decoded = loader.decode(in);
    ASSERT_EQ(decoded.ok(), !c.kind);
    if (!c.kind) {
      EXPECT_EQ(decoded.value().getPixel(1, 1), rgb(0, 255, 255));
      continue;
    }
    EXPECT_EQ(decoded.fault().kind, *c.kind);
    try {
      decodeXmg(c.bytes);
      ADD_FAILURE() << "no error";
    } catch (const XmgError& e) {
      EXPECT_EQ(decoded.fault().detail, e.what());
    }
  }
}

TEST_P(XmgLoaderTest, BlocksBelowTheCanvasAreSkippedWithTheirPayloadConsumed) {
  // A 2x2 image whose one run carries 4095 colour blocks: only the first is
  // visible and the canvas's margin takes five more; the rest are read past.
  Bytes b = xmgHeader(2, 2);
  b.u8(0xEF).u8(0xFF);
  for (int i = 0; i < 4095; ++i) {
    for (int k = 0; k < 4; ++k) b.u8(static_cast<uint8_t>(i)).u8(7).u8(9);
  }
  b.u8(0xFF);  // not read: the image is complete
  const std::string bytes = b;
  MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
  tXMGLoader loader;
  const PixelMap image = loader.toPixmap(in);
  EXPECT_EQ(image.getPixel(1, 1), rgb(0, 7, 9));
  EXPECT_EQ(in.position(), static_cast<int64_t>(bytes.size()) - 1);

  // The same with mask and luma runs, and odd sizes.
  for (const char* op : {"\xDF\xFF", "\xCF\xFF"}) {
    Bytes c = xmgHeader(3, 1);
    c.str(op);
    if (op[0] == '\xCF') c.str(std::string(4095 * 6, '\x80'));
    EXPECT_EQ(decodeXmg(c).getPixel(2, 0), op[0] == '\xCF' ? rgb(128, 128, 128) : rgb(0, 255, 255));
  }
}

TEST_P(XmgLoaderTest, BlockConversionMatchesThePerPixelConversionForEveryTriple) {
  // 64 images of 512 x 512: block i carries chroma (i & 255, i >> 8) and
  // image n gives pixel k the luma 4n + k, so every (y, cr, cb) is drawn once.
  constexpr int kSide = 512;
  for (int n = 0; n < 64; ++n) {
    std::string bytes = xmgHeader(kSide, kSide);
    for (int i = 0; i < 65536; ++i) {
      if (i % 4095 == 0) {
        const int left = std::min(4095, 65536 - i);
        bytes += static_cast<char>(0xC0 | (left >> 8));
        bytes += static_cast<char>(left & 0xFF);
      }
      for (int k = 0; k < 4; ++k) bytes += static_cast<char>(4 * n + k);
      bytes += static_cast<char>(i & 255);
      bytes += static_cast<char>(i >> 8);
    }
    const PixelMap image = decodeXmg(bytes);
    for (int i = 0; i < 65536; ++i) {
      const int x = (i % (kSide / 2)) * 2, y = (i / (kSide / 2)) * 2;
      for (int k = 0; k < 4; ++k) {
        const uint32_t expected = yuvToARGB(static_cast<uint8_t>(4 * n + k), i & 255, i >> 8);
        ASSERT_EQ(image.getPixel(x + k % 2, y + k / 2), expected) << "y " << 4 * n + k << " cr " << (i & 255) << " cb " << (i >> 8);
      }
    }
  }
}

// The decoding rule taken literally: one block at a time, each pixel through
// yuvToARGB, stale payload bytes for a CYUV block cut short, zeros for a cRGB
// one, blocks below the canvas passed over. Returns the visible pixels.
std::vector<uint32_t> decodeBlockByBlock(const std::string& bytes) {
  const auto at = [&](size_t i) -> int { return i < bytes.size() ? static_cast<uint8_t>(bytes[i]) : -1; };
  const auto i32 = [&](size_t i) {
    return static_cast<int32_t>(at(i) | at(i + 1) << 8 | at(i + 2) << 16 | static_cast<uint32_t>(at(i + 3)) << 24);
  };
  const int width = i32(8), height = i32(12);
  const int canvasWidth = width + 10, canvasHeight = height + 10;
  std::vector<uint32_t> canvas(static_cast<size_t>(canvasWidth) * canvasHeight, kWhite);
  const uint32_t mask = rgb(static_cast<uint8_t>(at(4)), static_cast<uint8_t>(at(5)), static_cast<uint8_t>(at(6)));
  size_t pos = tXMGHeader::kSize;
  int x = 0, y = 0;
  uint8_t payload[6] = {};
  while (pos < bytes.size() && y < height) {
    const int op = at(pos++);
    int mode = op >> 6, count = op & 0x3F;
    if (op >= 0xC0) {
      mode = (op >> 4) & 3;
      count = (op & 0x0F) << 8 | std::max(at(pos++), 0);
    }
    if (mode == 3) continue;
    for (int i = 0; i < count; ++i) {
      uint32_t colour[4];
      for (int k = 0; k < 4; ++k) colour[k] = mask;
      if (mode == 0) {
        for (int k = 0; k < 6 && pos < bytes.size(); ++k) payload[k] = static_cast<uint8_t>(at(pos++));
        for (int k = 0; k < 4; ++k) colour[k] = yuvToARGB(payload[k], payload[4], payload[5]);
      } else if (mode == 2) {
        for (int k = 0; k < 4; ++k) {
          uint8_t c[3];
          for (uint8_t& v : c) v = static_cast<uint8_t>(std::max(at(pos++), 0));
          colour[k] = rgb(c[0], c[1], c[2]);
        }
      }
      if (y + 1 < canvasHeight) {
        for (int k = 0; k < 4; ++k) canvas[static_cast<size_t>(y + k / 2) * canvasWidth + x + k % 2] = colour[k];
      }
      x += 2;
      if (x >= width) {
        x = 0;
        y += 2;
      }
    }
  }
  std::vector<uint32_t> visible;
  for (int row = 0; row < height; ++row) {
    visible.insert(visible.end(), canvas.begin() + static_cast<std::ptrdiff_t>(row) * canvasWidth,
                   canvas.begin() + static_cast<std::ptrdiff_t>(row) * canvasWidth + width);
  }
  return visible;
}

TEST_P(XmgLoaderTest, RunsDrawnStretchByStretchMatchTheBlockByBlockRule) {
  // Random runs of every mode and both opcode forms over odd, even and zero
  // widths: runs start and end anywhere in a block row, cross rows, reach
  // below the canvas, and the data may end inside a payload.
  std::mt19937 rng(31);
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{
           {0, 3}, {1, 1}, {2, 2}, {3, 5}, {5, 2}, {8, 8}, {33, 7}, {64, 20}, {129, 3}, {1030, 9}}) {
    for (int trial = 0; trial < 20; ++trial) {
      Bytes b = xmgHeader(w, h, 10, 20, 30);
      const int blocks = std::max(1, (w + 1) / 2) * ((h + 1) / 2);
      for (int drawn = 0; drawn < blocks + 40;) {
        const int mode = static_cast<int>(rng() % 7 < 4 ? 0 : rng() % 4);
        const int count = static_cast<int>(rng() % 5 == 0 ? rng() % (2 * blocks + 70) : rng() % 9);
        if (count > 63 || rng() % 4 == 0) {
          b.u8(static_cast<uint8_t>(0xC0 | mode << 4 | count >> 8)).u8(static_cast<uint8_t>(count));
        } else {
          if (mode == 3) continue;
          b.u8(static_cast<uint8_t>(mode << 6 | count));
        }
        if (mode == 3) continue;
        const int bytesPerBlock = mode == 0 ? 6 : (mode == 2 ? 12 : 0);
        for (int i = 0; i < count * bytesPerBlock; ++i) b.u8(static_cast<uint8_t>(rng()));
        drawn += count;
      }
      std::string bytes = b;
      if (trial % 3 == 0) bytes.resize(tXMGHeader::kSize + rng() % (bytes.size() - tXMGHeader::kSize + 1));
      SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + ", trial " + std::to_string(trial));
      const PixelMap image = decodeXmg(bytes);
      const std::vector<uint32_t> expected = decodeBlockByBlock(bytes);
      ASSERT_EQ(image.width(), w);
      ASSERT_EQ(image.height(), h);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(image.getPixel(x, y), expected[static_cast<size_t>(y) * w + x]) << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vh
