#include "common/files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/containers.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

TEST(ListFolder, GivesNamesWithOrWithoutDotsAndNothingForAMissingFolder) {
  TempDir dir;
  test::writeFile(dir / "a.orz", "");
  test::writeFile(dir / "B.ORZ", "");
  test::makeFolders(dir / "sub/deeper");
  std::vector<std::string> all = listFolder(dir.path());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::string>{".", "..", "B.ORZ", "a.orz", "sub"}));
  std::vector<std::string> plain = listFolder(dir.path(), true);
  std::sort(plain.begin(), plain.end());
  EXPECT_EQ(plain, (std::vector<std::string>{"B.ORZ", "a.orz", "sub"}));
  EXPECT_TRUE(listFolder(dir / "missing").empty());
  EXPECT_TRUE(listFolder(dir / "a.orz").empty());
}

TEST(PathInFolder, NormalisesPathsInsideAndRefusesEveryWayOut) {
  struct Case {
    const char* path;
    const char* normal;
  };
  for (const Case c : {Case{"readme.txt", "readme.txt"}, Case{"docs/manual.txt", "docs/manual.txt"},
                       Case{"docs\\manual.txt", "docs/manual.txt"}, Case{"a..b/c", "a..b/c"},
                       Case{"Forest/./x.xarc", "Forest/x.xarc"}, Case{"./docs//fonts/\\a.ttf", "docs/fonts/a.ttf"},
                       Case{"static/Lighthouse/1/1.xarc", "static/Lighthouse/1/1.xarc"},
                       Case{"Global\\1\\1.xarc", "Global/1/1.xarc"},
                       // Only the first segment is the backup folder; near names are not.
                       Case{"docs/.vhpatch-backup/x", "docs/.vhpatch-backup/x"},
                       Case{".vhpatch-backups/x", ".vhpatch-backups/x"},
                       // Device names only as the whole stem.
                       Case{"console.txt", "console.txt"}, Case{"com10", "com10"}, Case{"lpt0.txt", "lpt0.txt"},
                       Case{"auxiliary/nul_", "auxiliary/nul_"}, Case{".con", ".con"},
                       // GBK bytes are no control characters.
                       Case{"\xC4\xE3.txt", "\xC4\xE3.txt"}}) {
    EXPECT_EQ(pathInFolder(c.path), std::optional<std::string>(c.normal)) << c.path;
    EXPECT_FALSE(escapesFolder(c.path)) << c.path;
  }
  for (const std::string& outside : test::kPathsOutsideTheFolder) {
    EXPECT_EQ(pathInFolder(outside), std::nullopt) << outside;
    EXPECT_TRUE(escapesFolder(outside)) << outside;
  }
}

TEST(FileKind, TellsFilesFoldersAndMissing) {
  TempDir dir;
  test::writeFile(dir / "f", "12345");
  EXPECT_EQ(fileKind(dir / "f"), FileKind::File);
  EXPECT_EQ(fileKind(dir.path()), FileKind::Folder);
  EXPECT_EQ(fileKind(dir / "none"), FileKind::Missing);
  EXPECT_EQ(fileSize(dir / "f"), 5);
  EXPECT_EQ(fileSize(dir / "none"), -1);
  EXPECT_GT(fileModTime(dir / "f"), 0);
}

TEST(OrderedMap, OrdersBytewiseWithPrefixesFirstAndReplacesOnInsert) {
  OrderedMap<int> map;
  map.insert_or_assign("b", 1);
  map.insert_or_assign("\xC4\xE3", 2);  // above 127: after every ASCII key
  map.insert_or_assign("ab", 3);
  map.insert_or_assign("a", 4);
  map.insert_or_assign("Z", 5);
  map.insert_or_assign("a", 6);  // replaces
  std::vector<std::string> keys;
  for (const auto& [key, value] : map) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Z", "a", "ab", "b", "\xC4\xE3"}));
  EXPECT_EQ(map["a"], 6);
}

}  // namespace
}  // namespace vh
