// vhtool check, run as the real program: a working tree seeded with one
// fault of each kind is reported fault by fault with file and line, and the
// sample game's own tree and an unchanged export report nothing harmful.
#include <gtest/gtest.h>

#include <map>

#include "common/bytes.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

// The harmful lines of a report: those that are no note.
std::vector<std::string> problems(const std::string& report) {
  std::vector<std::string> found;
  for (const std::string& line : split(report, '\n')) {
    if (!line.empty() && line.find(": note: ") == std::string::npos) found.push_back(line);
  }
  return found;
}

class VhtoolCheck : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(vhtool("sample-game '" + dir.path() + "'").status, 0);
    const auto exported = vhtool("export '" + game + "' '" + tree + "'");
    ASSERT_EQ(exported.status, 0) << exported.err;
    // The first exported address of each kind word in the scene Inn.
    for (const std::string& line : split(test::readFile(tree + "/trans/Inn.trz"), '\n')) {
      if (line.starts_with("id=")) address = line.substr(3, line.size() - 4);
      if (line.starts_with("type=")) addressOf.try_emplace(line.substr(5, line.size() - 6), address);
    }
  }

  std::string check() const { return vhtool("check '" + game + "' '" + tree + "'").out; }

  TempDir dir;
  std::string game = dir / "game";
  std::string tree = dir / "export";
  std::string address;
  std::map<std::string, std::string> addressOf;
};

TEST_F(VhtoolCheck, TheSampleTreeAndAnUnchangedExportHaveNothingHarmful) {
  const auto sample = vhtool("check '" + game + "' '" + (dir / "worktree") + "'");
  EXPECT_EQ(sample.status, 0) << sample.out;
  EXPECT_TRUE(problems(sample.out).empty()) << sample.out;
  // The sample's one add-on that replaces a translated record is a note.
  EXPECT_NE(sample.out.find("override.txt:1: note: overrides the entry"), std::string::npos) << sample.out;

  const auto exported = vhtool("check '" + game + "' '" + tree + "'");
  EXPECT_EQ(exported.status, 0);
  EXPECT_EQ(exported.out, "");
}

TEST_F(VhtoolCheck, ReportsEachPlantedFaultWithItsFileAndLine) {
  const std::string speech = addressOf.at("speech");
  const std::string object = addressOf.at("object");
  // A sub-scene of Inn that neither record lies in, to leave out of the index.
  std::string left;
  for (const std::string& l : split(test::readFile(tree + "/data/Inn.orz"), '\n')) {
    if (!l.starts_with("id=")) continue;
    std::string id = l.substr(3, l.size() - 4);
    if (id.size() < 2) id = "0" + id;
    if (id != speech.substr(3, 2) && id != object.substr(3, 2)) left = id;
  }
  ASSERT_FALSE(left.empty());
  const std::string trans = tree + "/trans/";
  const std::string utf8 = "\xE4\xB8\xAD";  // 中 in UTF-8: its last byte starts a GBK character it lacks
  // 你好 in UTF-8 is GBK as well (浣犲ソ): only the file's other values tell.
  const std::string hello = "\xE4\xBD\xA0\xE5\xA5\xBD";
  // One entry per fault; where it is reported counts from the entry's first line.
  const struct {
    const char* fault;
    std::string entry;
    std::string expected;
    int line = 0;  // of the entry, where the fault is reported
  } kFaults[] = {
      {"misspelt key", "vaule=x\nid=" + speech + "\ntype=speech\nvalue=x\n", "unknown key \"vaule\""},
      {"kind word in capitals", "type=Object\nid=" + object + "\nvalue=x\n", "unknown kind word \"Object\""},
      {"kind that does not fit", "type=text\nid=" + speech + "\nvalue=x\n", "does not fit record"},
      {"another scene's address", "id=Harbor" + speech.substr(3) + "\ntype=speech\nvalue=x\n", "is of scene \"Harbor\""},
      {"sub-scene the game lacks", "id=Inn880001\ntype=speech\nvalue=x\n", "the game has no sub-scene 88"},
      {"record outside the file", "id=Inn999999\ntype=object\nvalue=x\n", "is outside the record file"},
      {"UTF-8 value", "value=" + utf8 + "\nid=" + speech + "\ntype=speech\n", "it reads as UTF-8"},
      {"UTF-8 value that is GBK too", "value=" + hello + "\nid=" + speech + "\ntype=speech\n",
       "the value reads as UTF-8, which the game shows as other characters: save the file as GBK"},
      {"UTF-8 value after ASCII", "id=" + speech + "\ntype=speech\nvalue=Hello " + hello + "\n",
       "the value reads as UTF-8, which the game shows", 2},
      {"UTF-8 accent in a UTF-8 file", "id=" + speech + "\ntype=speech\nvalue=caf\xC3\xA9\n",
       "the value reads as UTF-8, which the game shows", 2},
      {"value too long", "value=" + std::string(70'000, 'a') + "\nid=" + speech + "\ntype=speech\n",
       "do not fit its 16-bit length field"},
      {"sub-scene left out of the index", "id=Inn" + left + "0001\ntype=object\nvalue=x\n",
       "is not in " + tree + "/data/Inn.orz"},
      {"no type line", "id=" + speech + "\nvalue=x\n", "without a \"type\" line", 2},  // at its ">>"
  };
  std::string inn;
  std::vector<std::pair<int, std::string>> expected;
  int line = 1;
  for (const auto& f : kFaults) {
    expected.push_back({line + f.line, f.expected});
    inn += f.entry + ">>\n";
    line += static_cast<int>(split(f.entry, '\n').size());  // its lines and the ">>"
  }
  inn += "id=" + speech + "\ntype=speech\nvalue=never closed\n";
  expected.push_back({line, "text after the last \">>\""});
  test::writeFile(trans + "Inn.trz", inn);

  // A byte-order mark in another scene's file; a file for a scene without
  // an index; a sub-scene left out of its index file; an add-on over a
  // translated record.
  test::writeFile(trans + "Harbor.trz", "\xEF\xBB\xBF" + test::readFile(trans + "Harbor.trz"));
  test::writeFile(trans + "Nowhere.trz", "id=Nowhere990001\ntype=object\nvalue=x\n>>\n");
  std::string index = test::readFile(tree + "/data/Inn.orz");
  const std::string idLine = "id=" + std::to_string(strToInt(left)) + "\r\n";
  index.erase(index.find(idLine), idLine.size());
  test::writeFile(tree + "/data/Inn.orz", index);
  test::makeFolders(tree + "/addon");
  test::writeFile(tree + "/addon/mine.txt", "id=" + speech + "\ntype=speech\nvalue=y\n");

  // Two scenes translated in GBK, every value a phrase that does not read
  // as UTF-8 but for one text in Cellar that does by chance: a note.
  const char* const kGbkPhrases[] = {"\xC4\xE3\xBA\xC3", "\xB4\xAC\xB3\xA4", "\xC2\xEB\xCD\xB7<CR>\xD0\xA1\xD0\xC4",
                                     "\xD4\xBF\xB3\xD7\xD4\xDA\xC4\xC4\xC0\xEF"};  // 你好 船长 码头<CR>小心 钥匙在哪里
  int chance = 0;
  for (const char* scene : {"Docks", "Cellar"}) {
    std::string translated;
    int n = 0;
    for (const std::string& l : split(test::readFile(trans + scene + ".trz"), '\n')) {
      if (l.empty()) continue;
      const bool value = l.starts_with("value=");
      if (value && ++n == 1 && scene == std::string("Cellar")) {
        translated += "value=\xF0\xA1\xB0\xA1\r\n";  // 稹啊, in UTF-8 U+21C21
        chance = static_cast<int>(split(translated, '\n').size()) - 1;
      } else {
        translated += value ? "value=" + std::string(kGbkPhrases[n % std::size(kGbkPhrases)]) + "\r\n" : l + "\n";
      }
    }
    ASSERT_GT(n, 1) << scene;
    test::writeFile(trans + scene + ".trz", translated);
  }
  ASSERT_GT(chance, 0);

  const auto result = vhtool("check '" + game + "' '" + tree + "'");
  EXPECT_EQ(result.status, 1);
  // Of the encoding, nothing is said of Docks and one thing of Cellar (the
  // reviewer's notes on the phrases aside).
  const auto encodingLines = [&](const std::string& file) {
    size_t n = 0;
    for (const std::string& l : split(result.out, '\n')) n += l.starts_with(file + ":") && l.find("UTF-8") != std::string::npos;
    return n;
  };
  EXPECT_EQ(encodingLines(trans + "Docks.trz"), 0u) << result.out;
  const auto reported = [&](const std::string& file, int at, const std::string& text) {
    const std::string prefix = file + ":" + std::to_string(at) + ": ";
    for (const std::string& l : split(result.out, '\n')) {
      if (l.starts_with(prefix) && l.find(text) != std::string::npos) return true;
    }
    return false;
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(reported(trans + "Inn.trz", expected[i].first, expected[i].second))
        << (i < std::size(kFaults) ? kFaults[i].fault : "open entry") << " at line " << expected[i].first << "\n"
        << result.out;
  }
  EXPECT_TRUE(reported(trans + "Harbor.trz", 1, "byte-order mark")) << result.out;
  EXPECT_TRUE(reported(trans + "Nowhere.trz", 1, "no index file")) << result.out;
  EXPECT_TRUE(reported(tree + "/addon/mine.txt", 1, "note: overrides the entry")) << result.out;
  EXPECT_TRUE(reported(trans + "Cellar.trz", chance, "note: the value also reads as UTF-8")) << result.out;
  EXPECT_EQ(encodingLines(trans + "Cellar.trz"), 1u) << result.out;
}

}  // namespace
}  // namespace vh
