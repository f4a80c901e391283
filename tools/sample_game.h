// A made-up game in the shape of the real one, for the demo, the end-to-end
// tests and the benchmarks: game archives with record trees of every kind,
// and a translators' working tree whose entries address those records.
#pragma once

#include <cstdint>
#include <string>

namespace vh {

struct SampleGameOptions {
  int scenes = 8;          // including "Global"
  int subs = 3;            // sub-scenes of each scene besides its own archive
  int records = 40;        // records of an ordinary record file
  bool large = false;      // opaque members sized like a real game's
  uint64_t seed = 1;
};

struct SampleGameSummary {
  int archives = 0;
  int64_t archiveBytes = 0;
  int translationEntries = 0;
  int addonEntries = 0;
};

// Writes `out`/game and `out`/worktree. Throws std::runtime_error when a file
// cannot be written. The same options and seed give the same bytes.
SampleGameSummary writeSampleGame(const std::string& out, const SampleGameOptions& options);

}  // namespace vh
