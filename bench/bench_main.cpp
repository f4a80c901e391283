// vhbench: the benchmarks of every file here. VHPATCH_CODEC_LEVEL picks the
// image codec's level for the rows that do not name one, as in vhpatch.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "xmg/codec_level.h"

int main(int argc, char** argv) {
  const char* level = std::getenv("VHPATCH_CODEC_LEVEL");
  const vh::CodecLevelChoice codec = vh::useRequestedCodecLevel(level ? level : "");
  if (!codec.note.empty()) std::fprintf(stderr, "vhbench: %s\n", codec.note.c_str());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("codec level", std::string(vh::codecLevelName(codec.level)));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
