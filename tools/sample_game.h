// A made-up game in the shape of the real one, for the demo, the end-to-end
// tests and the benchmarks: game archives with record trees of every kind,
// and a translators' working tree whose entries address those records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vh {

struct SampleGameOptions {
  int scenes = 8;          // including "Global"
  int subs = 3;            // sub-scenes of each scene besides its own archive
  int records = 40;        // records of an ordinary record file
  bool large = false;      // opaque members sized like a real game's
  uint64_t seed = 1;
  // Every shape of text the game has, not only the plain ones: type 13
  // records with their text at 102, titles beside embedded texts, titled
  // speeches, line breaks, overlapping layouts, Chinese member names.
  bool shapes = false;
  // Also `out`/game2: the game's next version, with one record inserted and
  // one word edited in a translated text after it.
  bool secondVersion = false;
};

// A text the generator put into the game, as an exported entry names it.
struct PlantedText {
  std::string address;
  std::string word;  // the kind word that rewrites it
  std::string text;  // GBK, as the game stores it
};

// What the second version changed, in the one archive it changed.
struct SampleGameUpdate {
  std::string archive;       // relative to the game folder
  std::string inserted;      // the new record's address in version 2
  std::string editedBefore;  // the edited speech's address in version 1
  std::string editedAfter;   // and in version 2
  std::string oldText, newText;
};

struct SampleGameSummary {
  int archives = 0;
  int64_t archiveBytes = 0;
  int translationEntries = 0;
  int addonEntries = 0;
  // Every text of the game's scenes, as planted; a reader of the game must
  // find exactly these.
  std::vector<PlantedText> texts;
  // Records whose bytes read as text where no kind word fits (overlapping
  // layouts the record's type does not suggest), named here by address.
  std::vector<std::string> leftOut;
  SampleGameUpdate update;  // with secondVersion
};

// Writes `out`/game and `out`/worktree. Throws std::runtime_error when a file
// cannot be written. The same options and seed give the same bytes.
SampleGameSummary writeSampleGame(const std::string& out, const SampleGameOptions& options);

}  // namespace vh
