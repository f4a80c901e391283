#include "xmg/codec_level.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "xmg/row_passes.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace vh {

namespace {

constexpr std::array<std::string_view, 4> kLevelNames = {"baseline", "v2", "v3", "v4"};

}  // namespace

const RowPasses* rowPassesOf(CodecLevel level) {
  switch (level) {
    case CodecLevel::Baseline:
      return &kBaselineRowPasses;
#ifdef VH_CODEC_LEVELS
    case CodecLevel::V2:
      return &kV2RowPasses;
    case CodecLevel::V3:
      return &kV3RowPasses;
    case CodecLevel::V4:
      return &kV4RowPasses;
#endif
    default:
      return nullptr;
  }
}

namespace {

CodecLevel highestUsable() {
  static const CodecLevel level = usableCodecLevels().back();
  return level;
}

// The level in use, or -1 before the first use chose one.
std::atomic<int> levelInUse{-1};

bool bit(unsigned value, int n) { return (value >> n) & 1u; }

}  // namespace

std::string_view codecLevelName(CodecLevel level) { return kLevelNames[static_cast<size_t>(level)]; }

std::optional<CodecLevel> codecLevelNamed(std::string_view name) {
  const auto found = std::find(kLevelNames.begin(), kLevelNames.end(), name);
  if (found == kLevelNames.end()) return std::nullopt;
  return static_cast<CodecLevel>(found - kLevelNames.begin());
}

ProcessorFeatures readProcessorFeatures() {
  ProcessorFeatures f;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d)) {
    f.sse3 = bit(c, 0);
    f.ssse3 = bit(c, 9);
    f.fma = bit(c, 12);
    f.cx16 = bit(c, 13);
    f.sse41 = bit(c, 19);
    f.sse42 = bit(c, 20);
    f.movbe = bit(c, 22);
    f.popcnt = bit(c, 23);
    f.xsave = bit(c, 26);
    f.avx = bit(c, 28);
    f.f16c = bit(c, 29);
    // The registers the system saves on a switch; readable only where the
    // system says it uses XSAVE (OSXSAVE).
    if (bit(c, 27)) {
      unsigned low = 0, high = 0;
      __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
      f.systemSavesYmm = (low & 0x6) == 0x6;     // SSE and AVX state
      f.systemSavesZmm = (low & 0xE6) == 0xE6;  // and the opmask and both ZMM halves
    }
  }
  if (__get_cpuid(0x80000001, &a, &b, &c, &d)) {
    f.lahf = bit(c, 0);
    f.lzcnt = bit(c, 5);
  }
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) {
    f.bmi1 = bit(b, 3);
    f.avx2 = bit(b, 5);
    f.bmi2 = bit(b, 8);
    f.avx512f = bit(b, 16);
    f.avx512dq = bit(b, 17);
    f.avx512cd = bit(b, 28);
    f.avx512bw = bit(b, 30);
    f.avx512vl = bit(b, 31);
  }
#endif
  return f;
}

CodecLevel levelOf(const ProcessorFeatures& f) {
  const bool v2 = f.cx16 && f.lahf && f.popcnt && f.sse3 && f.sse41 && f.sse42 && f.ssse3;
  const bool v3 = v2 && f.avx && f.avx2 && f.bmi1 && f.bmi2 && f.f16c && f.fma && f.lzcnt && f.movbe && f.xsave &&
                  f.systemSavesYmm;
  const bool v4 = v3 && f.avx512f && f.avx512bw && f.avx512cd && f.avx512dq && f.avx512vl && f.systemSavesZmm;
  return v4 ? CodecLevel::V4 : v3 ? CodecLevel::V3 : v2 ? CodecLevel::V2 : CodecLevel::Baseline;
}

std::vector<CodecLevel> compiledCodecLevels() {
  std::vector<CodecLevel> levels;
  for (CodecLevel level : {CodecLevel::Baseline, CodecLevel::V2, CodecLevel::V3, CodecLevel::V4}) {
    if (rowPassesOf(level)) levels.push_back(level);
  }
  return levels;
}

std::vector<CodecLevel> usableCodecLevels() {
  const CodecLevel processor = levelOf(readProcessorFeatures());
  std::vector<CodecLevel> levels = compiledCodecLevels();
  std::erase_if(levels, [processor](CodecLevel level) { return level > processor; });
  return levels;
}

CodecLevelChoice chooseCodecLevel(std::string_view requested, CodecLevel highestUsable) {
  if (requested.empty()) return {highestUsable, ""};
  const std::string usesText = "; the codec uses " + std::string(codecLevelName(highestUsable));
  const std::optional<CodecLevel> named = codecLevelNamed(requested);
  if (!named) {
    return {highestUsable,
            "VHPATCH_CODEC_LEVEL=\"" + std::string(requested) + "\" is no level (baseline, v2, v3 or v4)" + usesText};
  }
  if (*named > highestUsable) {
    return {highestUsable, "VHPATCH_CODEC_LEVEL=" + std::string(requested) +
                               " is above what this processor and build run" + usesText};
  }
  return {*named, ""};
}

CodecLevel codecLevelInUse() {
  const int level = levelInUse.load(std::memory_order_relaxed);
  return level < 0 ? highestUsable() : static_cast<CodecLevel>(level);
}

bool useCodecLevel(CodecLevel level) {
  if (!rowPassesOf(level) || level > highestUsable()) return false;
  levelInUse.store(static_cast<int>(level), std::memory_order_relaxed);
  return true;
}

CodecLevelChoice useRequestedCodecLevel(std::string_view requested) {
  const CodecLevelChoice choice = chooseCodecLevel(requested, highestUsable());
  useCodecLevel(choice.level);
  return choice;
}

const RowPasses& rowPasses() { return *rowPassesOf(codecLevelInUse()); }

}  // namespace vh
