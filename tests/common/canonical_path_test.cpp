#include "common/canonical_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

class CanonicalPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::makeFolders(dir / "game/data");
    test::writeFile(dir / "game/data/x.xarc", "");
    const auto resolved = canonicalPath(dir / "game/data");
    ASSERT_TRUE(resolved.has_value());
    folder = *resolved;
  }
  TempDir dir;
  std::string folder;
};

TEST_F(CanonicalPathTest, IsAbsoluteWithSlashesAndNoDotSegments) {
  EXPECT_TRUE(std::filesystem::path(folder).is_absolute()) << folder;
  EXPECT_EQ(folder.find('\\'), std::string::npos) << folder;
  EXPECT_EQ(folder.find("/./"), std::string::npos) << folder;
  EXPECT_EQ(folder.find("/../"), std::string::npos) << folder;
  EXPECT_EQ(folder.substr(folder.size() - 10), "/game/data");
  EXPECT_EQ(canonicalPath(folder), folder);  // resolving again changes nothing
}

TEST_F(CanonicalPathTest, PathsToOnePlaceResolveAlike) {
  const struct {
    const char* path;
    const char* resolved;  // after the folder's own canonical path
  } kCases[] = {
      {"game/data", ""},
      {"game/./data", ""},
      {"game/data/", ""},
      {"game//data", ""},
      {"game/data/../data", ""},
      {"game/data/x.xarc", "/x.xarc"},
      {"game/./data/../data/x.xarc", "/x.xarc"},
  };
  for (const auto& c : kCases) EXPECT_EQ(canonicalPath(dir / c.path), folder + c.resolved) << c.path;
}

TEST_F(CanonicalPathTest, NothingWhereNothingExists) {
  for (const char* path : {"game/missing", "game/data/y.xarc", "game/data/x.xarc/inside", "game/missing/x.xarc"}) {
    EXPECT_EQ(canonicalPath(dir / path), std::nullopt) << path;
  }
  EXPECT_EQ(canonicalPath(""), std::nullopt);
}

// A game under a folder with a Chinese name, made by its wide name on
// Windows: the path in and out is UTF-8.
TEST_F(CanonicalPathTest, ChineseNamesAreUtf8InAndOut) {
  const std::string chinese = "\xE6\xB8\xB8\xE6\x88\x8F";  // 游戏
  std::filesystem::create_directories(std::filesystem::path(dir.path()) / std::filesystem::path(u8"\u6E38\u620F/Varnhollow"));
  const auto resolved = canonicalPath(dir / (chinese + "/Varnhollow"));
  ASSERT_TRUE(resolved.has_value());
  const std::string ending = "/" + chinese + "/Varnhollow";
  EXPECT_EQ(resolved->substr(resolved->size() - ending.size()), ending);
  EXPECT_EQ(canonicalPath(dir / (chinese + "/../game/data")), folder);
}

// Under Wine a link cannot always be made; the test says so instead of
// passing without looking.
TEST_F(CanonicalPathTest, ALinkResolvesToWhereItLeads) {
  std::error_code error;
  std::filesystem::create_directory_symlink(std::filesystem::path(dir / "game/data"), std::filesystem::path(dir / "link"),
                                            error);
  if (error) GTEST_SKIP() << "no link could be made here: " << error.message();
  EXPECT_EQ(canonicalPath(dir / "link"), folder);
  EXPECT_EQ(canonicalPath(dir / "link/x.xarc"), folder + "/x.xarc");
  EXPECT_EQ(canonicalPath(dir / "link/.."), canonicalPath(dir / "game"));
}

}  // namespace
}  // namespace vh
