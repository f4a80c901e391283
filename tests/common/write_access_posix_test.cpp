#include "common/write_access.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace vh {
namespace {

// A Linux player who may not write the game folder knows whose it is: no
// advice follows the message, even where the folder refuses everyone.
TEST(WriteAccessPosix, NothingIsAddedOnLinux) {
  test::TempDir dir;
  for (const std::string& path : {dir / "x.xarc", std::string("/sys/x.xarc"), std::string("/proc/missing/x")}) {
    EXPECT_FALSE(writeRefusedToUser(path)) << path;
    EXPECT_EQ(refusedWriteAdvice(path), "") << path;
  }
}

}  // namespace
}  // namespace vh
