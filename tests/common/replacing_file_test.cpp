#include "common/replacing_file.h"

#include <gtest/gtest.h>

#include "common/files.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

// A game file that holds "old" while a replacement of it is written.
class ReplacingFileTest : public ::testing::Test {
 protected:
  void SetUp() override { test::writeFile(path, "old"); }

  std::unique_ptr<ReplacingFile> replace(const std::string& content) {
    auto file = ReplacingFile::create(path);
    if (file) file->stream().writeString(content);
    return file;
  }

  TempDir dir;
  const std::string path = dir / "scene.xarc";
};

TEST_F(ReplacingFileTest, OldFileStaysUntilCommitAndNoTemporaryRemains) {
  {
    auto file = replace("new content");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(test::readFile(path), "old");
    ASSERT_TRUE(file->commit());
  }
  EXPECT_EQ(test::readFile(path), "new content");
  EXPECT_EQ(listFolder(dir.path(), true), std::vector<std::string>{"scene.xarc"});
}

TEST_F(ReplacingFileTest, DroppedWithoutCommitLeavesTheOriginal) {
  ASSERT_NE(replace("half"), nullptr);
  EXPECT_EQ(test::readFile(path), "old");
  EXPECT_EQ(listFolder(dir.path(), true), std::vector<std::string>{"scene.xarc"});
}

TEST_F(ReplacingFileTest, FailsCleanlyInAMissingFolder) {
  TempDir dir;
  EXPECT_EQ(ReplacingFile::create(dir / "no/such/file"), nullptr);
}

}  // namespace
}  // namespace vh
