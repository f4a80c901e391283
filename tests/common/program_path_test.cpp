// The working folder, entered by name and read back, on both platforms: a
// folder whose name is outside Windows' code page is entered by its wide
// name.
#include "common/program_path.h"

#include <gtest/gtest.h>

#include <string>

#include "common/canonical_path.h"
#include "common/local_file_system.h"
#include "tests/test_support.h"

namespace vh {
namespace {

class WorkingFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(before.empty()); }
  void TearDown() override { EXPECT_TRUE(enterFolder(before)) << before; }
  std::string before = workingFolder();
  test::TempDir dir;
  LocalFileSystem files;
};

TEST_F(WorkingFolderTest, AFolderEnteredIsTheWorkingFolderWhateverItsName) {
  const char* kNames[] = {"plain", "\xE6\xB8\xB8\xE6\x88\x8F", "Varnhollow \xE6\xB1\x89\xE5\x8C\x96 (1)"};
  for (const char* name : kNames) {
    const std::string folder = dir / name;
    ASSERT_TRUE(files.makeFolder(folder)) << name;
    ASSERT_TRUE(enterFolder(folder)) << name;
    const std::string now = workingFolder();
    EXPECT_EQ(now.find('\\'), std::string::npos) << now;
    EXPECT_EQ(canonicalPath(now), canonicalPath(folder)) << name;
    // A relative path now means one in that folder.
    ASSERT_TRUE(replaceWholeFile(files, "here.txt", name)) << name;
    const auto written = readWholeFile(files, folder + "/here.txt");
    EXPECT_EQ(written ? written.value() : "<unreadable>", name);
  }
}

TEST_F(WorkingFolderTest, WhatCannotBeEnteredLeavesTheWorkingFolderAsItWas) {
  test::writeFile(dir / "file", "");
  for (const std::string& path : {std::string(), dir / "missing", dir / "file", std::string("\xFF\xFE")}) {
    ASSERT_TRUE(enterFolder(dir.path()));
    const std::string was = workingFolder();
    EXPECT_FALSE(enterFolder(path)) << path;
    EXPECT_EQ(workingFolder(), was) << path;
  }
}

}  // namespace
}  // namespace vh
