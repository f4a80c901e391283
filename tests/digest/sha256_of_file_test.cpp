// The digest of a file read through the file system; the local file system
// is POSIX's alone for now, so this stays out of the Windows test program.
#include <gtest/gtest.h>

#include <string>

#include "common/local_file_system.h"
#include "digest/sha256.h"
#include "tests/test_support.h"

namespace vh {
namespace {

TEST(Sha256OfFile, DigestsARegularFileWholeAndNothingElse) {
  const test::TempDir dir;
  LocalFileSystem files;
  // Empty, one block, and more than the blocks the reader takes at once.
  struct Case {
    std::string content;
    std::string hex;
  };
  for (const Case& c : {Case{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
                        Case{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                        Case{std::string(1000000, 'a'),
                             "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}}) {
    test::writeFile(dir / "input", c.content);
    EXPECT_EQ(sha256OfFile(files, dir / "input"), c.hex) << c.content.size();
  }
  EXPECT_EQ(sha256OfFile(files, dir / "missing"), std::nullopt);
  EXPECT_EQ(sha256OfFile(files, dir.path()), std::nullopt);  // a folder is no file to digest
}

}  // namespace
}  // namespace vh
