// vhtool xarc, extract and dump on archives of their own making: members
// come out and go back byte for byte, a member's name never leads outside
// the folder it is written to, and a deeply nested tree prints in
// proportion to its records.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/recording_host.h"
#include "formats/xarc.h"
#include "tests/test_support.h"
#include "fixtures/fixture_bytes.h"

namespace vh {
namespace {

using test::TempDir;

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

const std::string kRecords = fixture::recordFile({{29, 0, 1, "", fixture::embeddedText("", "Hello.", "!!"), 0, 7}});

std::string sampleArchive() {
  return fixture::archive({{"scene.XMG", std::string(300, 'p'), 2}, {"Inn.xrc", kRecords, 1}, {"walk.ANI", "walk", 3}}, 7);
}

TEST(VhtoolXarc, ListsExtractsAndReplacesKeepingEveryOtherByte) {
  TempDir dir;
  const std::string archive = dir / "Inn.xarc";
  test::writeFile(archive, sampleArchive());

  const auto listed = vhtool("xarc list '" + archive + "'");
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out, "       300  scene.XMG\n" + std::string(10 - std::to_string(kRecords.size()).size(), ' ') +
                            std::to_string(kRecords.size()) + "  Inn.xrc\n         4  walk.ANI\n");

  // All members, then one by a name in other letters.
  ASSERT_EQ(vhtool("xarc extract '" + archive + "' -o '" + (dir / "all") + "'").status, 0);
  EXPECT_EQ(test::readFile(dir / "all/scene.XMG"), std::string(300, 'p'));
  EXPECT_EQ(test::readFile(dir / "all/Inn.xrc"), kRecords);
  EXPECT_EQ(test::readFile(dir / "all/walk.ANI"), "walk");
  ASSERT_EQ(vhtool("xarc extract '" + archive + "' WALK.ani -o '" + (dir / "one") + "'").status, 0);
  EXPECT_EQ(test::readFile(dir / "one/walk.ANI"), "walk");
  EXPECT_EQ(vhtool("xarc extract '" + archive + "' none.xmg -o '" + (dir / "one") + "'").status, 1);

  test::writeFile(dir / "new.xmg", "a longer picture than before");
  ASSERT_EQ(vhtool("xarc replace '" + archive + "' SCENE.xmg '" + (dir / "new.xmg") + "'").status, 0);
  EXPECT_EQ(test::readFile(archive),
            fixture::archive({{"scene.XMG", "a longer picture than before", 2}, {"Inn.xrc", kRecords, 1}, {"walk.ANI", "walk", 3}}, 7));

  // A record file goes back only as one sound tree.
  const std::string records = fixture::recordFile({{29, 0, 1, "", fixture::embeddedText("", "Bye.", "!!"), 0, 7}});
  test::writeFile(dir / "new.xrc", records);
  ASSERT_EQ(vhtool("xarc replace '" + archive + "' inn.XRC '" + (dir / "new.xrc") + "'").status, 0);
  EXPECT_EQ(test::readFile(archive),
            fixture::archive({{"scene.XMG", "a longer picture than before", 2}, {"Inn.xrc", records, 1}, {"walk.ANI", "walk", 3}}, 7));
  const std::string before = test::readFile(archive);
  test::writeFile(dir / "bad.xrc", records + "trailing");
  EXPECT_EQ(vhtool("xarc replace '" + archive + "' Inn.xrc '" + (dir / "bad.xrc") + "'").status, 1);
  EXPECT_EQ(test::readFile(archive), before);
  EXPECT_EQ(vhtool("xarc replace '" + archive + "' Inn.xrc").status, 2);
}

TEST(VhtoolXarc, MemberNamesNeverLeaveTheFolder) {
  TempDir dir;
  const std::string archive = dir / "evil.xarc";
  test::writeFile(archive, fixture::archive({{"../up.txt", "1", 0}, {"/abs/root.txt", "2", 0}, {"C:drive.txt", "3", 0},
                                             {"..\\back.txt", "4", 0}, {"..", "5", 0}},
                                            0));
  test::makeFolders(dir / "out/inner");
  const auto all = vhtool("xarc extract '" + archive + "' -o '" + (dir / "out/inner") + "'");
  EXPECT_EQ(all.status, 1);  // ".." is no file name
  for (const auto& [file, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"up.txt", "1"}, {"root.txt", "2"}, {"drive.txt", "3"}, {"back.txt", "4"}}) {
    EXPECT_EQ(test::readFile(dir / ("out/inner/" + file)), bytes) << file;
  }
  size_t outside = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    if (entry.is_regular_file() && entry.path().parent_path() != dir / "out/inner" && entry.path() != archive) ++outside;
  }
  EXPECT_EQ(outside, 0u);

  // The older extract without OUT takes the same care.
  const auto old = test::runCommand("cd '" + (dir / "out/inner") + "' && '" + test::binaryPath("vhtool") + "' extract '" +
                                    archive + "' ../UP.txt");
  EXPECT_EQ(old.status, 0) << old.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out/UP.txt"));
  EXPECT_EQ(test::readFile(dir / "out/inner/UP.txt"), "1");
}

TEST(VhtoolDump, ShowsKindWordsAndADeepTreeInProportionToItsRecords) {
  TempDir dir;
  constexpr int kDepth = 20'000;
  std::vector<fixture::Record> chain(kDepth, fixture::Record{40, 7, 0, "", "", 1, 0});
  chain.back().childCount = 0;
  chain[0] = {23, 0, 0, "Old door", "", 1, 0};
  test::writeFile(dir / "Deep.xarc", fixture::archive({{"Deep.xrc", fixture::recordFile(chain), 0}}, 0));
  const auto dumped = vhtool("dump '" + (dir / "Deep.xarc") + "'");
  ASSERT_EQ(dumped.status, 0) << dumped.err;
  EXPECT_LT(dumped.out.size(), static_cast<size_t>(kDepth) * 100);
  EXPECT_NE(dumped.out.find("Deep??0000  type 23/0 kind 3 [object]  title \"Old door\"\n"), std::string::npos);
  EXPECT_NE(dumped.out.find("Deep??0003        type 40/7 kind 7\n"), std::string::npos);
  EXPECT_NE(dumped.out.find("[depth " + std::to_string(kDepth - 1) + "] type 40/7 kind 7\n"), std::string::npos);
}

// The member table lines up by terminal columns: a Chinese character takes
// two, and without a UTF-8 locale the name is escaped bytes, a column each.
TEST(VhtoolDump, MemberColumnsLineUpWhateverScriptTheNamesAreIn) {
  TempDir dir;
  const std::string background = "\xB1\xB3\xBE\xB0.XMG";  // 背景.XMG in GBK
  test::writeFile(dir / "Inn.xarc", fixture::archive({{background, std::string(300, 'p'), 2}, {"scene.XMG", "p", 2}}, 7));
  const struct {
    const char* locale;
    std::string shown;  // the Chinese name as the table shows it
    size_t blanks;      // after it, to fill 24 columns
  } kLocales[] = {
      {"C.UTF-8", "\xE8\x83\x8C\xE6\x99\xAF.XMG", 16},  // eight columns
      {"C", "\\xB1\\xB3\\xBE\\xB0.XMG", 4},                  // twenty
  };
  for (const auto& l : kLocales) {
    const auto dumped = test::runCommand("LC_ALL=" + std::string(l.locale) + " '" + test::binaryPath("vhtool") + "' dump '" +
                                         (dir / "Inn.xarc") + "'");
    ASSERT_EQ(dumped.status, 0) << l.locale << dumped.err;
    EXPECT_NE(dumped.out.find("\n  " + l.shown + std::string(l.blanks, ' ') + "        300  flag 2\n"
                              "  scene.XMG" + std::string(15, ' ') + "          1  flag 2\n"),
              std::string::npos)
        << l.locale << "\n" << dumped.out;
  }
}

}  // namespace
}  // namespace vh
