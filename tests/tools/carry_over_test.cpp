// Translations carried to a new version of the game: by themselves, case by
// case, and through the real vhtool on the sample game's next version, where
// no translation may land on another text.
#include "tools/carry_over.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "common/bytes.h"
#include "fixtures/sample_game.h"
#include "tests/test_support.h"
#include "tools/po_file.h"

namespace vh::tool {
namespace {

namespace fs = std::filesystem;

// One archive's speeches: record -> source, with a translation "T:source"
// for each text named in `translated`.
std::vector<PriorText> prior(const std::vector<std::string>& sources, const std::set<std::string>& translated) {
  std::vector<PriorText> texts;
  for (size_t i = 0; i < sources.size(); ++i) {
    PriorText t;
    t.sub = 99, t.record = static_cast<int>(i), t.typeId = 2, t.source = sources[i];
    if (translated.count(sources[i])) t.translation = "T:" + sources[i];
    texts.push_back(t);
  }
  return texts;
}

std::vector<CarryText> next(const std::vector<std::string>& sources) {
  std::vector<CarryText> texts;
  for (size_t i = 0; i < sources.size(); ++i) texts.push_back({99, static_cast<int>(i), 2, sources[i]});
  return texts;
}

TEST(CarryOver, ATranslationGoesOnlyWhereItsTextStands) {
  struct Case {
    const char* what;
    std::vector<std::string> before, after;
    std::set<std::string> translated;
    // For each new text: "" untranslated, "T:x" translated, "~T:x" fuzzy.
    std::vector<std::string> expected;
    CarryCounts counts;
  };
  const std::string lantern = "The old lantern by the harbour door.";
  const std::string lanterns = "The old lanterns by the harbour door.";
  const Case cases[] = {
      {"unchanged", {"a", "b", "c"}, {"a", "b", "c"}, {"a", "c"}, {"T:a", "", "T:c"}, {2, 0, 0, 0}},
      {"a record inserted: the rest move with their texts",
       {"a", "b", "c"}, {"a", "new", "b", "c"}, {"a", "b", "c"}, {"T:a", "", "T:b", "T:c"}, {1, 2, 0, 0}},
      {"a record removed", {"a", "b", "c"}, {"a", "c"}, {"a", "b", "c"}, {"T:a", "T:c"}, {1, 1, 0, 1}},
      {"a word edited: fuzzy, with the text it was made from",
       {"a", lantern, "c"}, {"a", lanterns, "c"}, {lantern}, {"", "~T:" + lantern, ""}, {0, 0, 1, 0}},
      {"inserted before an edit: the edit is found by likeness, not by place",
       {"a", lantern, "c"}, {"a", "Key.", lanterns, "c"}, {lantern}, {"", "", "~T:" + lantern, ""}, {0, 0, 1, 0}},
      {"a text replaced by an unlike one: dropped, never fuzzy on another text",
       {"a", lantern, "c"}, {"a", "Run!", "c"}, {lantern}, {"", "", ""}, {0, 0, 0, 1}},
      {"repeated texts keep theirs across an insertion",
       {"yes", "no", "yes", "maybe", "yes"}, {"new", "yes", "no", "yes", "maybe", "yes"}, {"yes", "maybe"},
       {"", "T:yes", "", "T:yes", "T:maybe", "T:yes"}, {0, 4, 0, 0}},
      {"moved to the one untranslated record holding its text",
       {"a", "b", "c", "d"}, {"d", "a", "b", "c"}, {"d"}, {"T:d", "", "", ""}, {0, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    CarryCounts counts;
    const auto carried = carryOver(prior(c.before, c.translated), next(c.after), counts);
    ASSERT_EQ(carried.size(), c.expected.size()) << c.what;
    for (size_t i = 0; i < carried.size(); ++i) {
      std::string got;
      if (carried[i]) got = (carried[i]->fuzzy ? "~" : "") + carried[i]->translation;
      EXPECT_EQ(got, c.expected[i]) << c.what << ", text " << i;
      if (carried[i] && carried[i]->fuzzy) {
        EXPECT_NE(carried[i]->previous, c.after[i]) << c.what;
      }
    }
    EXPECT_EQ(counts.kept, c.counts.kept) << c.what;
    EXPECT_EQ(counts.moved, c.counts.moved) << c.what;
    EXPECT_EQ(counts.fuzzy, c.counts.fuzzy) << c.what;
    EXPECT_EQ(counts.dropped, c.counts.dropped) << c.what;
  }
}

TEST(CarryOver, ArchivesAndKindsAreLinedUpApart) {
  // The same text in another archive or of another kind is not this one.
  std::vector<PriorText> before = prior({"a", "b"}, {"a", "b"});
  before[1].typeId = 4;
  std::vector<CarryText> after = next({"b", "a"});
  after[1].sub = 3;
  CarryCounts counts;
  const auto carried = carryOver(before, after, counts);
  EXPECT_FALSE(carried[0]);  // "b" of kind 4 was translated, not "b" of kind 2
  EXPECT_FALSE(carried[1]);
  EXPECT_EQ(counts.dropped, 2u);
}

TEST(CarryOver, TheShortestEditScriptLinesUpWhatBothHold) {
  const auto pairs = commonPairs({1, 2, 3, 4, 5}, {1, 9, 3, 4, 6, 5}, 100);
  ASSERT_TRUE(pairs);
  EXPECT_EQ(*pairs, (std::vector<std::pair<size_t, size_t>>{{0, 0}, {2, 2}, {3, 3}, {4, 5}}));
  EXPECT_FALSE(commonPairs({1, 2, 3}, {4, 5, 6}, 3));  // six edits
  EXPECT_EQ(commonPairs({}, {}, 0)->size(), 0u);
}

// ---- the sample game's next version, through the real vhtool

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

struct Message {
  std::string id, str;
  bool fuzzy;
  std::string previous;
};

// The messages of every PO file of a folder, by msgctxt.
std::map<std::string, Message> messages(const std::string& folder) {
  std::map<std::string, Message> found;
  for (const auto& file : fs::directory_iterator(folder)) {
    if (file.path().extension() != ".po") continue;
    std::vector<std::string> problems;
    const auto catalog = readPoFile(file.path(), problems);
    EXPECT_TRUE(catalog) << file.path();
    if (!catalog) continue;
    for (const PoMessage& m : catalog->messages) found[m.context] = {m.id, m.str, m.fuzzy, m.previous};
  }
  return found;
}

class NextVersion : public testing::Test {
 protected:
  void SetUp() override {
    SampleGameOptions options;
    options.shapes = options.secondVersion = true;
    summary = writeSampleGame(dir.path(), options);
    const auto v1 = vhtool("export '" + game + "' '" + (dir / "v1") + "' --po --from '" + (dir / "worktree") +
                           "' --old-game '" + game + "'");
    ASSERT_EQ(v1.status, 0) << v1.err;
    before = messages(dir / "v1/po");
  }

  // Where a message of version 1 stands in version 2: the records after the
  // inserted one have moved on by one.
  std::string moved(const std::string& context) const {
    const std::string changed = summary.update.inserted.substr(0, summary.update.inserted.size() - 4);
    if (!context.starts_with(changed)) return context;
    const int record = std::stoi(context.substr(changed.size(), 4));
    if (record < std::stoi(summary.update.inserted.substr(changed.size()))) return context;
    std::string address = std::to_string(record + 1);
    address.insert(0, 4 - address.size(), '0');
    return changed + address + context.substr(changed.size() + 4);
  }

  // Every translation of version 2 is one made for its text, and every
  // translated text of version 1 that version 2 still holds keeps it, not
  // fuzzy; only the edited speech is fuzzy.
  void expectCarried(const std::string& folder) {
    const auto after = messages(folder);
    std::set<std::pair<std::string, std::string>> made;  // msgid, msgstr
    for (const auto& [context, m] : before) {
      if (!m.str.empty() && !m.fuzzy) made.insert({m.id, m.str});
    }
    size_t misplaced = 0, translated = 0;
    for (const auto& [context, m] : after) {
      if (m.str.empty() || m.fuzzy) continue;
      ++translated;
      misplaced += !made.count({m.id, m.str});
    }
    EXPECT_EQ(misplaced, 0u);
    const std::string edited = summary.update.editedAfter + "|speech";
    size_t kept = 0;
    for (const auto& [context, m] : before) {
      if (m.str.empty() || moved(context) == edited) continue;
      const auto now = after.find(moved(context));
      ASSERT_NE(now, after.end()) << context;
      EXPECT_EQ(now->second.id, m.id) << context;
      EXPECT_EQ(now->second.str, m.str) << context;
      EXPECT_FALSE(now->second.fuzzy) << context;
      ++kept;
    }
    EXPECT_EQ(translated, kept);
    ASSERT_TRUE(after.count(edited));
    const Message& fuzzy = after.at(edited);
    EXPECT_TRUE(fuzzy.fuzzy);
    EXPECT_EQ(fuzzy.id, summary.update.newText);
    EXPECT_EQ(fuzzy.previous, summary.update.oldText);
    EXPECT_EQ(fuzzy.str, before.at(summary.update.editedBefore + "|speech").str);
    EXPECT_TRUE(after.at(summary.update.inserted + "|speech").str.empty());
  }

  test::TempDir dir;
  std::string game = dir / "game";
  std::string game2 = dir / "game2";
  SampleGameSummary summary;
  std::map<std::string, Message> before;
};

TEST_F(NextVersion, NoTranslationLandsOnAnotherTextFromPoFilesOrFromATrzTree) {
  ASSERT_FALSE(before.at(summary.update.editedBefore + "|speech").str.empty());
  const auto fromPo = vhtool("export '" + game2 + "' '" + (dir / "v2") + "' --po --from '" + (dir / "v1/po") + "'");
  ASSERT_EQ(fromPo.status, 0) << fromPo.err;
  EXPECT_NE(fromPo.out.find(" 1 fuzzy (their text changed), 0 dropped"), std::string::npos) << fromPo.out;
  expectCarried(dir / "v2/po");
  for (const auto& file : fs::directory_iterator(dir / "v2/po")) {
    if (file.path().extension() != ".po") continue;
    const auto checked = test::runCommand("msgfmt --check -o /dev/null '" + file.path().string() + "'");
    EXPECT_EQ(checked.status, 0) << checked.err;
  }
  EXPECT_NE(test::readFile(dir / "v2/po/Inn.po").find("#| msgid \"" + summary.update.oldText + "\""),
            std::string::npos);

  const auto fromTree = vhtool("export '" + game2 + "' '" + (dir / "v2t") + "' --po --from '" + (dir / "worktree") +
                               "' --old-game '" + game + "'");
  ASSERT_EQ(fromTree.status, 0) << fromTree.err;
  expectCarried(dir / "v2t/po");

  // A TRZ tree alone keeps no source text.
  const auto alone = vhtool("export '" + game2 + "' '" + (dir / "v2x") + "' --po --from '" + (dir / "worktree") + "'");
  EXPECT_EQ(alone.status, 1);
  EXPECT_NE(alone.err.find("give --old-game"), std::string::npos) << alone.err;
}

TEST_F(NextVersion, ImportWithTheGameRefusesAnOldVersionsMessagesAndWritesNothing) {
  test::makeFolders(dir / "tree/trans");
  std::string files, files2;
  for (const auto& file : fs::directory_iterator(dir / "v1/po")) {
    if (file.path().extension() == ".po") files += " '" + file.path().string() + "'";
  }
  const auto refused = vhtool("import" + files + " --to '" + (dir / "tree") + "' --game '" + game2 + "'");
  EXPECT_EQ(refused.status, 1);
  // Each refusal is a message of the archive that changed, where a record
  // now holds another text or none of that kind.
  size_t refusals = 0;
  for (const std::string& line : split(refused.err, '\n')) {
    if (line.empty() || line.find("nothing written: ") != std::string::npos) continue;
    ++refusals;
    EXPECT_NE(line.find("v1/po/Inn.po:"), std::string::npos) << line;
    EXPECT_TRUE(line.find("the msgid is not the game's text at Inn99") != std::string::npos ||
                line.find("the game has no text Inn99") != std::string::npos)
        << line;
  }
  EXPECT_GT(refusals, 0u);
  EXPECT_NE(refused.err.find("nothing written: " + std::to_string(refusals) + " problems"), std::string::npos)
      << refused.err;
  EXPECT_TRUE(fs::is_empty(dir / "tree/trans"));
  // Against the game it was made for, the same files import.
  EXPECT_EQ(vhtool("import" + files + " --to '" + (dir / "tree") + "' --game '" + game + "'").status, 0);
}

}  // namespace
}  // namespace vh::tool
