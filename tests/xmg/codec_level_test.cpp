#include "xmg/codec_level.h"
#include "xmg/row_passes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vh {
namespace {

using Feature = bool ProcessorFeatures::*;

// Every feature the x86-64 psABI asks of each level, the system's saving of
// the wide registers included.
const std::vector<Feature> kV2Features = {&ProcessorFeatures::cx16,  &ProcessorFeatures::lahf,
                                          &ProcessorFeatures::popcnt, &ProcessorFeatures::sse3,
                                          &ProcessorFeatures::sse41, &ProcessorFeatures::sse42,
                                          &ProcessorFeatures::ssse3};
const std::vector<Feature> kV3Features = {
    &ProcessorFeatures::avx,   &ProcessorFeatures::avx2,  &ProcessorFeatures::bmi1,
    &ProcessorFeatures::bmi2,  &ProcessorFeatures::f16c,  &ProcessorFeatures::fma,
    &ProcessorFeatures::lzcnt, &ProcessorFeatures::movbe, &ProcessorFeatures::xsave,
    &ProcessorFeatures::systemSavesYmm};
const std::vector<Feature> kV4Features = {&ProcessorFeatures::avx512f,  &ProcessorFeatures::avx512bw,
                                          &ProcessorFeatures::avx512cd, &ProcessorFeatures::avx512dq,
                                          &ProcessorFeatures::avx512vl, &ProcessorFeatures::systemSavesZmm};

ProcessorFeatures everything() {
  ProcessorFeatures f;
  for (const auto* list : {&kV2Features, &kV3Features, &kV4Features}) {
    for (Feature feature : *list) f.*feature = true;
  }
  return f;
}

// A processor with every feature but one stands at the level below the one
// that feature belongs to: an AVX2 processor whose system does not save the
// YMM registers must not run the AVX2 copy.
TEST(CodecLevel, EachLevelNeedsEveryOneOfItsFeatures) {
  EXPECT_EQ(levelOf(everything()), CodecLevel::V4);
  EXPECT_EQ(levelOf(ProcessorFeatures{}), CodecLevel::Baseline);
  const struct {
    const std::vector<Feature>* features;
    CodecLevel without;
  } kLevels[] = {{&kV2Features, CodecLevel::Baseline}, {&kV3Features, CodecLevel::V2}, {&kV4Features, CodecLevel::V3}};
  for (const auto& level : kLevels) {
    for (size_t i = 0; i < level.features->size(); ++i) {
      ProcessorFeatures f = everything();
      f.*(*level.features)[i] = false;
      EXPECT_EQ(levelOf(f), level.without) << "without feature " << i << " of the level above "
                                           << codecLevelName(level.without);
    }
  }
}

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 && defined(__x86_64__)
// The compiler's own runtime knows the levels by name from GCC 12 on; our
// reading of the processor must agree with it here.
TEST(CodecLevel, TheProcessorsLevelIsTheOneTheCompilersRuntimeSees) {
  __builtin_cpu_init();
  const CodecLevel expected = __builtin_cpu_supports("x86-64-v4")   ? CodecLevel::V4
                              : __builtin_cpu_supports("x86-64-v3") ? CodecLevel::V3
                              : __builtin_cpu_supports("x86-64-v2") ? CodecLevel::V2
                                                                    : CodecLevel::Baseline;
  EXPECT_EQ(codecLevelName(levelOf(readProcessorFeatures())), codecLevelName(expected));
}
#endif

TEST(CodecLevel, RequestsSettleOnALevelTheMachineRuns) {
  const struct {
    const char* requested;
    CodecLevel highest;
    CodecLevel expected;
    const char* note;  // a part of the note; "" for none
  } kCases[] = {
      {"", CodecLevel::V3, CodecLevel::V3, ""},
      {"baseline", CodecLevel::V3, CodecLevel::Baseline, ""},
      {"v2", CodecLevel::V3, CodecLevel::V2, ""},
      {"v3", CodecLevel::V3, CodecLevel::V3, ""},
      {"v4", CodecLevel::V3, CodecLevel::V3, "VHPATCH_CODEC_LEVEL=v4 is above what this processor and build run; "
                                             "the codec uses v3"},
      {"v2", CodecLevel::Baseline, CodecLevel::Baseline, "the codec uses baseline"},
      {"v4", CodecLevel::V4, CodecLevel::V4, ""},
      {"V3", CodecLevel::V4, CodecLevel::V4, "VHPATCH_CODEC_LEVEL=\"V3\" is no level (baseline, v2, v3 or v4)"},
      {"x86-64-v2", CodecLevel::V2, CodecLevel::V2, "is no level"},
      {" v2", CodecLevel::V2, CodecLevel::V2, "is no level"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string("requested \"") + c.requested + "\", highest " + std::string(codecLevelName(c.highest)));
    const CodecLevelChoice choice = chooseCodecLevel(c.requested, c.highest);
    EXPECT_EQ(codecLevelName(choice.level), codecLevelName(c.expected));
    if (*c.note == '\0') {
      EXPECT_EQ(choice.note, "");
    } else {
      EXPECT_NE(choice.note.find(c.note), std::string::npos) << choice.note;
    }
  }
}

TEST(CodecLevel, OnlyTheLevelsTheBuildAndProcessorRunCanBeUsed) {
  const CodecLevel before = codecLevelInUse();
  const std::vector<CodecLevel> usable = usableCodecLevels();
  ASSERT_FALSE(usable.empty());
  EXPECT_EQ(usable.front(), CodecLevel::Baseline);
  EXPECT_EQ(before, usable.back()) << "the codec starts at the highest usable level";
  for (CodecLevel level : {CodecLevel::Baseline, CodecLevel::V2, CodecLevel::V3, CodecLevel::V4}) {
    const bool isUsable = std::find(usable.begin(), usable.end(), level) != usable.end();
    EXPECT_EQ(useCodecLevel(level), isUsable) << codecLevelName(level);
    // A refused level changes nothing.
    EXPECT_EQ(codecLevelInUse(), isUsable ? level : before) << codecLevelName(level);
    useCodecLevel(before);
  }
  // Each compiled level has a table of its own, with code of its own.
  const std::vector<CodecLevel> compiled = compiledCodecLevels();
  for (size_t i = 0; i < compiled.size(); ++i) {
    ASSERT_NE(rowPassesOf(compiled[i]), nullptr);
    for (size_t j = 0; j < i; ++j) {
      EXPECT_NE(rowPassesOf(compiled[i])->sampleRow, rowPassesOf(compiled[j])->sampleRow);
      EXPECT_NE(rowPassesOf(compiled[i])->colours, rowPassesOf(compiled[j])->colours);
    }
  }
  // A request above the machine falls back and says so, and the level it
  // settles on is the one in use.
  const CodecLevelChoice above = useRequestedCodecLevel("v4");
  EXPECT_EQ(above.level, usable.back());
  EXPECT_EQ(codecLevelInUse(), usable.back());
  EXPECT_EQ(above.note.empty(), usable.back() == CodecLevel::V4) << above.note;
  EXPECT_EQ(useRequestedCodecLevel("baseline").level, CodecLevel::Baseline);
  EXPECT_EQ(codecLevelInUse(), CodecLevel::Baseline);
  useCodecLevel(before);
}

}  // namespace
}  // namespace vh
