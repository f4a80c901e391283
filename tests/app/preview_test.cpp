// vhtool preview against a real installation: what it shows for a scene is
// what `dump --diff` shows between the game before and after vhpatch
// installed the same working tree, and the game stays untouched by it.
#include <gtest/gtest.h>

#include "common/bytes.h"
#include "tests/app/installation.h"
#include "tests/test_support.h"

namespace vh {
namespace {

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

TEST(VhtoolPreview, ShowsForASceneWhatTheInstallationChanges) {
  test::Installation setup;
  // Global gets the heroine's name and the sample's add-on as well.
  const auto preview = vhtool("preview '" + setup.game + "' '" + setup.program + "' Global");
  ASSERT_EQ(preview.status, 0) << preview.err;
  for (const std::string& path : setup.archives()) {
    EXPECT_EQ(test::readFile(setup.game + "/" + path), test::readFile(setup.original + "/" + path)) << path;
  }

  const auto installed = setup.vhpatch("makeandapply");
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  std::string expected;
  int archives = 0;
  for (const std::string& line : split(preview.out, '\n')) {
    if (!line.starts_with("archive ")) continue;
    const std::string path = line.substr(8);
    const std::string relative = path.substr(setup.game.size() + 1);
    const auto diff = vhtool("dump --diff '" + setup.original + "/" + relative + "' '" + path + "'");
    ASSERT_EQ(diff.status, 0) << diff.err;
    expected += line + "\n" + diff.out;
    ++archives;
  }
  EXPECT_EQ(archives, 4);  // Global's own archive and its three sub-scenes
  EXPECT_EQ(preview.out, expected);
  EXPECT_NE(preview.out.find("Global994243\n  before: type 8/1 kind 7"), std::string::npos) << preview.out;
}

}  // namespace
}  // namespace vh
