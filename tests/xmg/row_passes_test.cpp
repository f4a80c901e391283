// Each level's table of row passes against the portable passes, compiled
// here for this file's own instruction set: the levels whose passes are
// written for their vectors (the baseline's SSE2 shuffles and multiply-adds)
// must give the same bytes, for every length, including the tails their
// groups of 16 or 32 leave, and write nothing past what they are given.
#include "xmg/row_pass_bodies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/xmg/xmg_fixture.h"

namespace vh {
namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr int kGuardBytes = 64;

// An output buffer of `count` elements with guard bytes behind it; its text
// includes the guards, so a pass that writes past its end shows in them.
template <typename T>
struct Guarded {
  explicit Guarded(size_t count) : bytes(count * sizeof(T) + kGuardBytes, kGuard) {}
  T* data() { return reinterpret_cast<T*>(bytes.data()); }
  std::string text() const { return std::string(bytes.begin(), bytes.end()); }
  std::vector<uint8_t> bytes;
};

// What a pass wrote: each output buffer's text, guards included, and its
// result where it returns one.
struct Written {
  std::vector<std::string> buffers;
  std::string result;
};

template <typename T>
std::vector<T> randomValues(std::mt19937& rng, size_t count, int low, int high) {
  std::uniform_int_distribution<int> pick(low, high);
  std::vector<T> values(count);
  for (T& v : values) v = static_cast<T>(pick(rng));
  return values;
}

// One pass run over `n` elements (blocks or pixels, as the pass counts) of
// inputs drawn from `rng`.
using PassRun = std::function<Written(const RowPasses&, int n, std::mt19937& rng)>;

Written splitPayloadsRun(const RowPasses& passes, int n, std::mt19937& rng) {
  const auto payload = randomValues<uint8_t>(rng, 6 * static_cast<size_t>(n), 0, 255);
  Guarded<uint16_t> top(n), bottom(n), chroma(n);
  passes.splitPayloads(payload.data(), n, top.data(), bottom.data(), chroma.data());
  return {{top.text(), bottom.text(), chroma.text()}, ""};
}

// Every chroma pair there is, in order from a random start, so that long
// runs take them all.
Written chromaOffsetsRun(const RowPasses& passes, int n, std::mt19937& rng) {
  std::vector<uint16_t> chroma(n);
  const uint32_t start = rng();
  for (int i = 0; i < n; ++i) chroma[i] = static_cast<uint16_t>(start + i);
  Guarded<int16_t> red(2 * n), green(2 * n), blue(2 * n);
  passes.chromaOffsets(chroma.data(), n, red.data(), green.data(), blue.data());
  return {{red.text(), green.text(), blue.text()}, ""};
}

Written coloursRun(const RowPasses& passes, int n, std::mt19937& rng) {
  const auto luma = randomValues<uint8_t>(rng, n, 0, 255);
  // The offsets chromaOffsets can give, and a little beyond.
  const auto red = randomValues<int16_t>(rng, n, -240, 240);
  const auto green = randomValues<int16_t>(rng, n, -240, 240);
  const auto blue = randomValues<int16_t>(rng, n, -240, 240);
  Guarded<uint8_t> r(n), g(n), b(n);
  passes.colours(luma.data(), n, red.data(), green.data(), blue.data(), r.data(), g.data(), b.data());
  return {{r.text(), g.text(), b.text()}, ""};
}

Written interleaveRun(const RowPasses& passes, int n, std::mt19937& rng) {
  const auto r = randomValues<uint8_t>(rng, n, 0, 255);
  const auto g = randomValues<uint8_t>(rng, n, 0, 255);
  const auto b = randomValues<uint8_t>(rng, n, 0, 255);
  Guarded<uint8_t> out(3 * static_cast<size_t>(n));
  passes.interleave(r.data(), g.data(), b.data(), n, out.data());
  return {{out.text()}, ""};
}

Written splitColoursRun(const RowPasses& passes, int n, std::mt19937& rng) {
  const auto pixels = randomValues<uint8_t>(rng, 3 * static_cast<size_t>(n), 0, 255);
  Guarded<uint8_t> red(n), green(n), blue(n);
  passes.splitColours(pixels.data(), n, red.data(), green.data(), blue.data());
  return {{red.text(), green.text(), blue.text()}, ""};
}

// Pixels of mask colour among others, as a sprite's edge has them.
Written sampleRowRun(const RowPasses& passes, int n, std::mt19937& rng) {
  auto red = randomValues<uint8_t>(rng, n, 0, 255), green = randomValues<uint8_t>(rng, n, 0, 255),
       blue = randomValues<uint8_t>(rng, n, 0, 255);
  for (int i = 0; i < n; i += 1 + static_cast<int>(rng() % 5)) {
    red[i] = tXMGEncoder::MASK_R;
    green[i] = tXMGEncoder::MASK_G;
    blue[i] = tXMGEncoder::MASK_B;
  }
  Guarded<uint8_t> luma(n), mask(n);
  Guarded<int16_t> redDiff(n), blueDiff(n);
  passes.sampleRow(red.data(), green.data(), blue.data(), n, luma.data(), mask.data(), redDiff.data(),
                   blueDiff.data());
  return {{luma.text(), mask.text(), redDiff.text(), blueDiff.text()}, ""};
}

// The blocks' sums of differences step through every value from -1020 to
// 1020 from a random start, so that long runs meet every chroma byte, the
// clamps at both ends and each sum the float steps must decide.
Written sumBlocksRun(const RowPasses& passes, int n, std::mt19937& rng) {
  const size_t pixels = 2 * static_cast<size_t>(n);
  auto maskTop = randomValues<uint8_t>(rng, pixels, 0, 1), maskBottom = randomValues<uint8_t>(rng, pixels, 0, 1);
  std::vector<int16_t> redTop(pixels), redBottom(pixels), blueTop(pixels), blueBottom(pixels);
  const int start = static_cast<int>(rng() % 2041);
  for (int i = 0; i < n; ++i) {
    for (auto [top, bottom, offset] : {std::tuple{&redTop, &redBottom, 0}, std::tuple{&blueTop, &blueBottom, 977}}) {
      const int sum = (start + offset + i) % 2041 - 1020;
      // Four differences of at most 255 that add up to the sum, unevenly:
      // the first leaves the other three at most 765 to share.
      const int a = std::clamp(sum / 4 + static_cast<int>(rng() % 7) - 3, std::max(-255, sum - 765),
                               std::min(255, sum + 765));
      const int rest = sum - a;
      const int b = std::clamp(rest / 3, -255, 255), c = std::clamp((rest - b) / 2, -255, 255);
      (*top)[2 * i] = static_cast<int16_t>(a);
      (*top)[2 * i + 1] = static_cast<int16_t>(b);
      (*bottom)[2 * i] = static_cast<int16_t>(c);
      (*bottom)[2 * i + 1] = static_cast<int16_t>(rest - b - c);
    }
  }
  Guarded<uint8_t> masks(n), chroma(pixels), steps(n);
  const int any = passes.sumBlocks(n, maskTop.data(), maskBottom.data(), redTop.data(), redBottom.data(),
                                   blueTop.data(), blueBottom.data(), masks.data(), chroma.data(), steps.data());
  return {{masks.text(), chroma.text(), steps.text()}, std::to_string(any)};
}

const struct {
  const char* name;
  PassRun run;
} kPasses[] = {
    {"splitPayloads", splitPayloadsRun}, {"chromaOffsets", chromaOffsetsRun}, {"colours", coloursRun},
    {"interleave", interleaveRun},       {"splitColours", splitColoursRun},   {"sampleRow", sampleRowRun},
    {"sumBlocks", sumBlocksRun},
};

// Lengths around each group size, a row of the largest run, and enough
// chroma pairs and sums to take every one.
const int kLengths[] = {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 48, 63, 64, 65, 100, 4095, 65536};

class RowPassesTest : public ::testing::TestWithParam<CodecLevel> {};

TEST_P(RowPassesTest, EveryPassGivesThePortablePassesBytesAndWritesNothingPastTheEnd) {
  const RowPasses* level = rowPassesOf(GetParam());
  ASSERT_NE(level, nullptr);
  const std::string guard(kGuardBytes, static_cast<char>(kGuard));
  for (const auto& pass : kPasses) {
    for (int n : kLengths) {
      SCOPED_TRACE(std::string(pass.name) + ", " + std::to_string(n));
      std::mt19937 forLevel(static_cast<uint32_t>(n) * 7919u + 1), forPortable = forLevel;
      const Written got = pass.run(*level, n, forLevel);
      const Written expected = pass.run(kRowPassesHere, n, forPortable);
      EXPECT_EQ(got.result, expected.result);
      ASSERT_EQ(got.buffers.size(), expected.buffers.size());
      for (size_t k = 0; k < got.buffers.size(); ++k) {
        const std::string& bytes = got.buffers[k];
        ASSERT_EQ(bytes.size(), expected.buffers[k].size());
        EXPECT_EQ(bytes.substr(bytes.size() - kGuardBytes), guard) << "output " << k << " written past its end";
        // The first byte that differs, rather than two long strings.
        const auto differs = std::mismatch(bytes.begin(), bytes.end(), expected.buffers[k].begin());
        EXPECT_TRUE(differs.first == bytes.end())
            << "output " << k << " differs at byte " << (differs.first - bytes.begin()) << " of " << bytes.size();
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CodecLevel, RowPassesTest, ::testing::ValuesIn(usableCodecLevels()),
                         test::codecLevelTestName);

}  // namespace
}  // namespace vh
