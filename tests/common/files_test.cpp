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

TEST(EscapesFolder, RefusesEveryWayOutAndKeepsPathsInside) {
  for (const char* inside : {"readme.txt", "docs/manual.txt", "docs\\manual.txt", "a..b/c", "Forest/./x.xarc",
                                    "static/Lighthouse/1/1.xarc", "x/C:/y"}) {
    EXPECT_FALSE(escapesFolder(inside)) << inside;
  }
  for (const std::string& outside : test::kPathsOutsideTheFolder) EXPECT_TRUE(escapesFolder(outside)) << outside;
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
