// Both programs name their version when asked, and do nothing else.
#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace vh {
namespace {

TEST(Version, BothProgramsPrintTheirNameAndVersionAndSucceed) {
  test::TempDir dir;
  for (const std::string program : {"vhpatch", "vhtool"}) {
    SCOPED_TRACE(program);
    // From an empty folder and without a display: the version needs neither
    // a package nor windows.
    const auto result =
        test::runCommand("cd '" + dir.path() + "' && env -u DISPLAY '" + test::binaryPath(program) + "' --version");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, program + " 1.1.0\n");
    EXPECT_EQ(result.err, "");
  }
  EXPECT_TRUE(test::runCommand("ls -A '" + dir.path() + "'").out.empty());
}

}  // namespace
}  // namespace vh
