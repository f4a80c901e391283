#include "common/local_file_system.h"

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/stream.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

// A game file that holds "old" while a replacement of it is written.
class NewFileTest : public ::testing::Test {
 protected:
  void SetUp() override { test::writeFile(path, "old"); }

  std::unique_ptr<NewFile> replace(const std::string& content) {
    auto file = files.create(path);
    if (file) file->stream().writeString(content);
    return file;
  }

  LocalFileSystem files;
  TempDir dir;
  const std::string path = dir / "scene.xarc";
};

TEST_F(NewFileTest, OldFileStaysUntilReplacedAndNoNewFileRemains) {
  {
    auto file = replace("new content");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(test::readFile(path), "old");
    ASSERT_TRUE(files.replace(*file, FolderSync::Now));
  }
  EXPECT_EQ(test::readFile(path), "new content");
  EXPECT_EQ(listFolder(dir.path(), true), std::vector<std::string>{"scene.xarc"});
}

TEST_F(NewFileTest, DroppedBeforeItReplacesLeavesTheOriginal) {
  ASSERT_NE(replace("half"), nullptr);
  EXPECT_EQ(test::readFile(path), "old");
  EXPECT_EQ(listFolder(dir.path(), true), std::vector<std::string>{"scene.xarc"});
}

TEST_F(NewFileTest, FailsCleanlyInAMissingFolder) {
  EXPECT_EQ(files.create(dir / "no/such/file"), nullptr);
}

// Two files swap in one step, or, with one of them missing, neither
// moves; Windows has no such step and leaves both as they were.
TEST_F(NewFileTest, TwoFilesSwapOrStayAsTheyWere) {
  const std::string other = dir / "scene.xarc.spare";
  test::writeFile(other, "spare");
#ifdef _WIN32
  EXPECT_FALSE(files.exchange(path, other));
  EXPECT_EQ(test::readFile(path), "old");
#else
  ASSERT_TRUE(files.exchange(path, other));
  EXPECT_EQ(test::readFile(path), "spare");
  EXPECT_EQ(test::readFile(other), "old");
#endif
  EXPECT_FALSE(files.exchange(path, dir / "missing"));
  EXPECT_TRUE(fileExists(path));
  EXPECT_FALSE(fileExists(dir / "missing"));
}

}  // namespace
}  // namespace vh
