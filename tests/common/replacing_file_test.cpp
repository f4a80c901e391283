#include "common/replacing_file.h"

#include <gtest/gtest.h>

#include "common/files.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

TEST(ReplacingFile, OldFileStaysUntilCommitAndNoTemporaryRemains) {
  TempDir dir;
  const std::string path = dir / "scene.xarc";
  test::writeFile(path, "old");
  {
    auto file = ReplacingFile::create(path);
    ASSERT_NE(file, nullptr);
    file->stream().writeString("new content");
    EXPECT_EQ(test::readFile(path), "old");
    ASSERT_TRUE(file->commit());
  }
  EXPECT_EQ(test::readFile(path), "new content");
  EXPECT_EQ(listFolder(dir.path(), true), std::vector<std::string>{"scene.xarc"});
}

TEST(ReplacingFile, DroppedWithoutCommitLeavesTheOriginal) {
  TempDir dir;
  const std::string path = dir / "scene.xarc";
  test::writeFile(path, "old");
  {
    auto file = ReplacingFile::create(path);
    ASSERT_NE(file, nullptr);
    file->stream().writeString("half");
  }
  EXPECT_EQ(test::readFile(path), "old");
  EXPECT_EQ(listFolder(dir.path(), true), std::vector<std::string>{"scene.xarc"});
}

TEST(ReplacingFile, FailsCleanlyInAMissingFolder) {
  TempDir dir;
  EXPECT_EQ(ReplacingFile::create(dir / "no/such/file"), nullptr);
}

}  // namespace
}  // namespace vh
