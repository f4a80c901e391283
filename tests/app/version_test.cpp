// Both programs name their version and the commit they were built from when
// asked, and do nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/app/installation.h"
#include "tests/test_support.h"
#include "vh_version.h"

namespace vh {
namespace {

// What git itself says of the source tree: HEAD's short hash, "-dirty" when
// a tracked file differs from it; "unknown" when the tree is no checkout.
std::string commitOfTheSourceTree() {
  const std::string git = "git -C '" + std::string(VH_SOURCE_DIR) + "' ";
  const auto head = test::runCommand(git + "rev-parse --short=7 HEAD");
  if (head.status != 0 || head.out.empty()) return "unknown";
  std::string commit = head.out.substr(0, head.out.find('\n'));
  test::runCommand(git + "update-index -q --refresh");
  if (test::runCommand(git + "diff-index --quiet HEAD --").status != 0) commit += "-dirty";
  return commit;
}

TEST(Version, BothProgramsPrintTheirNameVersionAndCommitAndSucceed) {
  // The version project() declares, in the form players and scripts read.
  ASSERT_TRUE(std::regex_match(kVersion, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+"))) << kVersion;
  const std::string commit = commitOfTheSourceTree();
  ASSERT_TRUE(std::regex_match(commit, std::regex("[0-9a-f]{7,}(-dirty)?|unknown"))) << commit;
  test::TempDir dir;
  for (const std::string program : {"vhpatch", "vhtool"}) {
    SCOPED_TRACE(program);
    // From an empty folder and without a display: the version needs neither
    // a package nor windows.
    const auto result =
        test::runCommand("cd '" + dir.path() + "' && env -u DISPLAY '" + test::binaryPath(program) + "' --version");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, program + " " + kVersion + " (" + commit + ")\n");
    EXPECT_EQ(result.err, "");
  }
  EXPECT_TRUE(test::runCommand("ls -A '" + dir.path() + "'").out.empty());
}

// As with --help, a mode word after the request is not obeyed: nothing is
// built, installed or undone.
TEST(Version, AModeWordAfterItIsNotObeyed) {
  test::Installation setup;
  const std::string expected = std::string("vhpatch ") + kVersion + " (" + commitOfTheSourceTree() + ")\n";
  for (const std::string args : {"--version makeandapply", "--version make", "--version uninstall", "--version x y"}) {
    SCOPED_TRACE(args);
    const auto result = setup.vhpatch(args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "");
  }
  EXPECT_FALSE(std::filesystem::exists(setup.program + "/patch.dat"));
  EXPECT_EQ(test::tree(setup.game), test::tree(setup.original));
}

}  // namespace
}  // namespace vh
