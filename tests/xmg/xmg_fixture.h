// Hand-built XMG images and small helpers shared by the codec's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/byte_buffer.h"
#include "common/pixel_map.h"
#include "common/stream.h"
#include "tests/test_support.h"
#include "xmg/codec_level.h"
#include "xmg/row_passes.h"
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

// A suite whose every test runs once for each codec level this build
// compiled and this processor runs (CODEC_LEVEL_SUITE below), since every
// level must give the same bytes.
class EveryCodecLevel : public ::testing::TestWithParam<CodecLevel> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(useCodecLevel(GetParam())) << codecLevelName(GetParam());
    ASSERT_EQ(&rowPasses(), rowPassesOf(GetParam())) << "the codec runs the level's own passes";
  }
  void TearDown() override { useCodecLevel(previous_); }

 private:
  CodecLevel previous_ = codecLevelInUse();
};

}  // namespace vh::test

namespace vh {
inline void PrintTo(CodecLevel level, std::ostream* out) { *out << codecLevelName(level); }
}  // namespace vh

namespace vh::test {

inline std::string codecLevelTestName(const ::testing::TestParamInfo<CodecLevel>& info) {
  return std::string(codecLevelName(info.param));
}

}  // namespace vh::test

// Declares `suite` as an EveryCodecLevel suite and runs it at every usable
// level: its tests are named CodecLevel/<suite>.<test>/<level>.
#define CODEC_LEVEL_SUITE(suite)                 \
  class suite : public test::EveryCodecLevel {}; \
  INSTANTIATE_TEST_SUITE_P(CodecLevel, suite, ::testing::ValuesIn(usableCodecLevels()), test::codecLevelTestName)
