// Which copy of the codec's row passes runs (row_passes.h): the highest
// x86-64 level that both the build compiled and the processor has, unless a
// lower one is asked for. Programs pass the value of VHPATCH_CODEC_LEVEL to
// useRequestedCodecLevel at start-up; tests and benchmarks set a level
// directly. Every level gives the same bytes; only the speed differs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vh {

// The x86-64 levels of the psABI, each holding the one before.
enum class CodecLevel { Baseline, V2, V3, V4 };

// "baseline", "v2", "v3", "v4": the values VHPATCH_CODEC_LEVEL takes.
std::string_view codecLevelName(CodecLevel level);
std::optional<CodecLevel> codecLevelNamed(std::string_view name);

// What the processor and the operating system offer, as far as the levels
// ask. The wide registers count only when the system saves them (XCR0).
struct ProcessorFeatures {
  bool cx16 = false, lahf = false, popcnt = false, sse3 = false, sse41 = false, sse42 = false, ssse3 = false;
  bool avx = false, avx2 = false, bmi1 = false, bmi2 = false, f16c = false, fma = false, lzcnt = false,
       movbe = false, xsave = false, systemSavesYmm = false;
  bool avx512f = false, avx512bw = false, avx512cd = false, avx512dq = false, avx512vl = false,
       systemSavesZmm = false;
};
ProcessorFeatures readProcessorFeatures();
// The highest level whose every feature is there.
CodecLevel levelOf(const ProcessorFeatures& features);

// The levels this build compiled the passes for, lowest first: all four in
// optimised x86-64 builds, the baseline alone otherwise.
std::vector<CodecLevel> compiledCodecLevels();
// Those of them this processor runs, lowest first; the baseline always.
std::vector<CodecLevel> usableCodecLevels();

// The level a request settles on, and a line that says why when it is not
// what was asked: no request gives `highestUsable`; a name that is no level
// gives `highestUsable` with a note; a level above `highestUsable` gives
// `highestUsable` with a note.
struct CodecLevelChoice {
  CodecLevel level = CodecLevel::Baseline;
  std::string note;
};
CodecLevelChoice chooseCodecLevel(std::string_view requested, CodecLevel highestUsable);

// The level in use.
CodecLevel codecLevelInUse();
// From now on the codec runs `level`'s passes; false, changing nothing, for
// a level this build or processor lacks.
bool useCodecLevel(CodecLevel level);

// Start-up: settles the request (VHPATCH_CODEC_LEVEL's value, empty when
// unset) against this build and processor, uses what it settles on and
// returns that, with the note to write when the request was not met.
CodecLevelChoice useRequestedCodecLevel(std::string_view requested);

}  // namespace vh
