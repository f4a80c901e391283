// vhbench: the benchmarks of every file here. VHPATCH_CODEC_LEVEL picks the
// image codec's level for the rows that do not name one, as in vhpatch.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "xmg/codec_level.h"

int main(int argc, char** argv) {
  const char* level = std::getenv("VHPATCH_CODEC_LEVEL");
  const vh::CodecLevelChoice codec = vh::useRequestedCodecLevel(level ? level : "");
  if (!codec.note.empty()) std::fprintf(stderr, "vhbench: %s\n", codec.note.c_str());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("codec level", std::string(vh::codecLevelName(codec.level)));
  // The levels with rows of their own, and those the build has that this
  // processor cannot run, which have none.
  const auto names = [](const std::vector<vh::CodecLevel>& levels) {
    std::string text;
    for (vh::CodecLevel level : levels) text += (text.empty() ? "" : " ") + std::string(vh::codecLevelName(level));
    return text;
  };
  benchmark::AddCustomContext("codec levels compiled", names(vh::compiledCodecLevels()));
  benchmark::AddCustomContext("codec levels run here", names(vh::usableCodecLevels()));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
