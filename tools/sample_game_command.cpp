#include <cstdio>
#include <exception>

#include "common/bytes.h"
#include "fixtures/sample_game.h"
#include "tools/commands.h"

namespace vh::tool {

namespace {

bool readNumber(const Args& args, size_t& i, int64_t& value) {
  if (i + 1 >= args.size()) return false;
  const std::string& text = args[++i];
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) return false;
  value = std::stoll(text);
  return true;
}

}  // namespace

int sampleGame(const Args& args) {
  SampleGameOptions options;
  std::string out;
  bool scenesGiven = false, subsGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    int64_t n = 0;
    if (a == "--size" && i + 1 < args.size()) {
      const std::string size = args[++i];
      if (size != "small" && size != "large") {
        std::fprintf(stderr, "vhtool sample-game: --size takes small or large, not '%s'\n", size.c_str());
        return 2;
      }
      options.large = size == "large";
    } else if (a == "--shapes") {
      options.shapes = true;
    } else if (a == "--second-version") {
      options.secondVersion = true;
    } else if (a == "--scenes" || a == "--subs" || a == "--records" || a == "--seed") {
      if (!readNumber(args, i, n)) {
        std::fprintf(stderr, "vhtool sample-game: %s takes a whole number\n", a.c_str());
        return 2;
      }
      if (a == "--scenes") options.scenes = static_cast<int>(std::min<int64_t>(n, 100000)), scenesGiven = true;
      if (a == "--subs") options.subs = static_cast<int>(std::min<int64_t>(n, 1000)), subsGiven = true;
      if (a == "--records") options.records = static_cast<int>(std::min<int64_t>(n, 60000));
      if (a == "--seed") options.seed = static_cast<uint64_t>(n);
    } else if (!a.empty() && a[0] != '-' && out.empty()) {
      out = a;
    } else {
      std::fprintf(stderr, "vhtool sample-game: unexpected argument '%s'\n", a.c_str());
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr,
                 "usage: vhtool sample-game OUT [--scenes N] [--subs N] [--records N] [--size small|large] [--seed S] "
                 "[--shapes] [--second-version]\n");
    return 2;
  }
  // A large game is shaped like the real one: some 300 scenes of 4 sub-scenes.
  if (options.large && !scenesGiven) options.scenes = 300;
  if (options.large && !subsGiven) options.subs = 4;
  try {
    const SampleGameSummary summary = writeSampleGame(out, options);
    std::printf("wrote %s/game (%d archives, %lld bytes, %zu texts) and %s/worktree (%d translation entries, %d add-ons)\n",
                out.c_str(), summary.archives, static_cast<long long>(summary.archiveBytes), summary.texts.size(),
                out.c_str(), summary.translationEntries, summary.addonEntries);
    if (options.secondVersion) {
      std::printf("wrote %s/game2, the next version: %s inserted, a word of %s edited (now %s)\n", out.c_str(),
                  summary.update.inserted.c_str(), summary.update.editedBefore.c_str(),
                  summary.update.editedAfter.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vhtool sample-game: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace vh::tool
