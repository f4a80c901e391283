#include "common/disk_sync.h"

#include <gtest/gtest.h>

#include <string>

#include "common/local_file_system.h"
#include "tests/test_support.h"

namespace vh {
namespace {

TEST(SyncFile, AFileWrittenIsSyncedAndLeftAsItWasAndNothingElseIs) {
  test::TempDir dir;
  LocalFileSystem files;
  const std::string chinese = dir / "\xE6\xB8\xB8\xE6\x88\x8F.dat";  // 游戏.dat
  ASSERT_TRUE(replaceWholeFile(files, dir / "plain.dat", "bytes"));
  ASSERT_TRUE(replaceWholeFile(files, chinese, "\xE5\xAD\x97"));
  const struct {
    std::string path;
    bool synced;
    const char* content;  // null: no file there afterwards
  } kCases[] = {
      {dir / "plain.dat", true, "bytes"},
      {chinese, true, "\xE5\xAD\x97"},
      {dir / "missing.dat", false, nullptr},
      {"", false, nullptr},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(syncFile(c.path), c.synced) << c.path;
    const auto read = readWholeFile(files, c.path);
    EXPECT_EQ(read ? read.value() : "<no file>", c.content ? c.content : "<no file>") << c.path;
  }
}

}  // namespace
}  // namespace vh
