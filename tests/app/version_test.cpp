// Both programs name their version when asked, and do nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/app/installation.h"
#include "tests/test_support.h"
#include "vh_version.h"

namespace vh {
namespace {

TEST(Version, BothProgramsPrintTheirNameAndVersionAndSucceed) {
  // The version project() declares, in the form players and scripts read.
  ASSERT_TRUE(std::regex_match(kVersion, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+"))) << kVersion;
  test::TempDir dir;
  for (const std::string program : {"vhpatch", "vhtool"}) {
    SCOPED_TRACE(program);
    // From an empty folder and without a display: the version needs neither
    // a package nor windows.
    const auto result =
        test::runCommand("cd '" + dir.path() + "' && env -u DISPLAY '" + test::binaryPath(program) + "' --version");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, program + " " + kVersion + "\n");
    EXPECT_EQ(result.err, "");
  }
  EXPECT_TRUE(test::runCommand("ls -A '" + dir.path() + "'").out.empty());
}

// As with --help, a mode word after the request is not obeyed: nothing is
// built, installed or undone.
TEST(Version, AModeWordAfterItIsNotObeyed) {
  test::Installation setup;
  for (const std::string args : {"--version makeandapply", "--version make", "--version uninstall", "--version x y"}) {
    SCOPED_TRACE(args);
    const auto result = setup.vhpatch(args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, std::string("vhpatch ") + kVersion + "\n");
    EXPECT_EQ(result.err, "");
  }
  EXPECT_FALSE(std::filesystem::exists(setup.program + "/patch.dat"));
  EXPECT_EQ(test::tree(setup.game), test::tree(setup.original));
}

}  // namespace
}  // namespace vh
