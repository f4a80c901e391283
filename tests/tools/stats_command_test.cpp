// vhtool stats, run as the real program on the sample game, against what the
// generator planted and what its working tree translates: counted here from
// the generator's list and the TRZ files, not by the toolkit's readers.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "common/bytes.h"
#include "fixtures/sample_game.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

struct Expected {
  size_t texts = 0, translated = 0, fuzzy = 0, chars = 0, charsTranslated = 0;
};

std::string json(const Expected& e) {
  return "\"texts\": " + std::to_string(e.texts) + ", \"translated\": " + std::to_string(e.translated) +
         ", \"fuzzy\": " + std::to_string(e.fuzzy) + ", \"untranslated\": " +
         std::to_string(e.texts - e.translated - e.fuzzy) + ", \"chars\": " + std::to_string(e.chars) +
         ", \"chars_translated\": " + std::to_string(e.charsTranslated);
}

class VhtoolStats : public testing::Test {
 protected:
  void SetUp() override {
    SampleGameOptions options;
    options.shapes = true;
    summary = writeSampleGame(dir.path(), options);
    // The planted texts, by address and the word of their kind ("group"
    // stands for "speechgroup" too); the sample's texts are ASCII.
    for (const PlantedText& t : summary.texts) {
      planted[{t.address, t.word}] = t.text;
      Expected& scene = expected[t.address.substr(0, t.address.size() - 6)];
      ++scene.texts;
      scene.chars += t.text.size();
    }
    // What the working tree translates.
    for (const auto& file : fs::directory_iterator(dir / "worktree/trans")) {
      if (lowerCase(file.path().extension().string()) != ".trz") continue;
      std::string id;
      for (std::string line : split(test::readFile(file.path()), '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("id=")) id = line.substr(3);
        if (!line.starts_with("type=")) continue;
        const std::string word = line.substr(5) == "speechgroup" ? "group" : line.substr(5);
        ASSERT_TRUE(planted.count({id, word})) << id << " " << word;
        translated.insert({id, word});
        Expected& scene = expected[id.substr(0, id.size() - 6)];
        ++scene.translated;
        scene.charsTranslated += planted[{id, word}].size();
      }
    }
  }

  Expected total() const {
    Expected all;
    for (const auto& [scene, e] : expected) {
      all.texts += e.texts, all.translated += e.translated, all.fuzzy += e.fuzzy;
      all.chars += e.chars, all.charsTranslated += e.charsTranslated;
    }
    return all;
  }

  test::TempDir dir;
  SampleGameSummary summary;
  std::map<std::pair<std::string, std::string>, std::string> planted;
  std::set<std::pair<std::string, std::string>> translated;
  std::map<std::string, Expected> expected;
};

TEST_F(VhtoolStats, CountsTheGamesTextsAndTheTreesTranslations) {
  const auto stats = vhtool("stats '" + (dir / "game") + "' '" + (dir / "worktree") + "' --json");
  ASSERT_EQ(stats.status, 0) << stats.err;
  EXPECT_EQ(total().translated, static_cast<size_t>(summary.translationEntries));
  for (const auto& [scene, e] : expected) {
    EXPECT_NE(stats.out.find("{\"name\": \"" + scene + "\", " + json(e) + "}"), std::string::npos) << scene << "\n"
                                                                                                  << stats.out;
  }
  EXPECT_NE(stats.out.find("\"total\": {" + json(total()) + "}}\n"), std::string::npos) << stats.out;
  EXPECT_TRUE(stats.out.starts_with("{\"scenes\": [{\"name\": \"Cellar\", "));

  // As a table: a line per scene and the total.
  const auto table = vhtool("stats '" + (dir / "game") + "' '" + (dir / "worktree") + "'");
  ASSERT_EQ(table.status, 0);
  EXPECT_EQ(split(table.out, '\n').size(), expected.size() + 3);  // heading, scenes, total, ""
  EXPECT_NE(table.out.find("\ntotal "), std::string::npos);
}

TEST_F(VhtoolStats, PoMessagesCountOnlyForTheTextTheyTranslate) {
  ASSERT_EQ(vhtool("export '" + (dir / "game") + "' '" + (dir / "v1") + "' --po --from '" + (dir / "worktree") +
                   "' --old-game '" + (dir / "game") + "'")
                .status,
            0);
  // In Inn.po: the first translated message made fuzzy, the second one's
  // msgid changed, as a file of another version would have it.
  const std::string file = dir / "v1/po/Inn.po";
  std::string text = test::readFile(file);
  std::vector<std::string> lines = split(text, '\n');
  int changed = 0;
  for (size_t i = 0; i + 2 < lines.size() && changed < 2; ++i) {
    if (!lines[i].starts_with("msgctxt ") || lines[i + 2] == "msgstr \"\"") continue;
    if (changed++ == 0) {
      lines[i] = "#, fuzzy\n" + lines[i];
    } else {
      lines[i + 1] = "msgid \"Another text\"";
    }
  }
  ASSERT_EQ(changed, 2);
  text.clear();
  for (const std::string& line : lines) text += line + "\n";
  test::writeFile(file, text);
  test::makeFolders(dir / "empty");

  const auto stats =
      vhtool("stats '" + (dir / "game") + "' '" + (dir / "empty") + "' --po '" + (dir / "v1/po") + "' --json");
  ASSERT_EQ(stats.status, 0) << stats.err;
  const auto innLine = stats.out.find("{\"name\": \"Inn\", ");
  ASSERT_NE(innLine, std::string::npos);
  const std::string inn = stats.out.substr(innLine, stats.out.find('}', innLine) - innLine);
  const Expected& e = expected["Inn"];
  EXPECT_NE(inn.find("\"translated\": " + std::to_string(e.translated - 2) + ", \"fuzzy\": 1, \"untranslated\": " +
                     std::to_string(e.texts - e.translated + 1)),
            std::string::npos)
      << inn;
  EXPECT_EQ(vhtool("stats '" + (dir / "game") + "' '" + (dir / "empty") + "' --po '" + (dir / "empty") + "'").status, 1);
  EXPECT_EQ(vhtool("stats '" + (dir / "game") + "'").status, 2);
}

}  // namespace
}  // namespace vh
