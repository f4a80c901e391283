// vhtool extract, run as the real program on a sample game: a scene's
// picture comes out byte for byte and goes on through xmg2png.
#include <gtest/gtest.h>

#include "formats/xarc.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"
#include "pictures/picture_files.h"

namespace vh {
namespace {

using test::TempDir;

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

TEST(VhtoolExtract, WritesOneMemberThatTheImageCommandsRead) {
  TempDir dir;
  ASSERT_EQ(vhtool("sample-game '" + dir.path() + "'").status, 0);
  const std::string archive = dir / "game/Inn/Inn.xarc";
  // Member names are matched ignoring case; the file takes the name given.
  const auto done = vhtool("extract '" + archive + "' SCENE.xmg '" + (dir / "inn.xmg") + "'");
  ASSERT_EQ(done.status, 0) << done.err;
  {
    RecordingHost quiet;
    tXARC opened;
    ASSERT_EQ(opened.open(archive, test::standardError()), 1);
    EXPECT_EQ(test::readFile(dir / "inn.xmg"), opened.findFile("scene.xmg")->bank->toString());
  }
  const auto png = vhtool("xmg2png '" + (dir / "inn.xmg") + "' '" + (dir / "inn.png") + "'");
  ASSERT_EQ(png.status, 0) << png.err;
  const Picture picture = readPicture(dir / "inn.png").value();
  EXPECT_GE(picture.width, 40);

  // Without OUT the member's own name in the current folder.
  const auto here = test::runCommand("cd '" + dir.path() + "' && '" + test::binaryPath("vhtool") + "' extract '" +
                                     archive + "' walk.ani");
  ASSERT_EQ(here.status, 0) << here.err;
  EXPECT_FALSE(test::readFile(dir / "walk.ani").empty());
}

TEST(VhtoolExtract, ReportsWhatItCannotDo) {
  TempDir dir;
  ASSERT_EQ(vhtool("sample-game '" + dir.path() + "'").status, 0);
  const std::string archive = dir / "game/Inn/Inn.xarc";
  const auto missingMember = vhtool("extract '" + archive + "' nothing.xmg '" + (dir / "out") + "'");
  EXPECT_EQ(missingMember.status, 1);
  EXPECT_NE(missingMember.err.find("has no member nothing.xmg"), std::string::npos) << missingMember.err;
  const auto missingArchive = vhtool("extract '" + (dir / "none.xarc") + "' scene.xmg '" + (dir / "out") + "'");
  EXPECT_EQ(missingArchive.status, 1);
  EXPECT_NE(missingArchive.err.find("failed to read:"), std::string::npos) << missingArchive.err;
  const auto unwritable = vhtool("extract '" + archive + "' scene.xmg '" + (dir / "no/such/folder/out") + "'");
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_EQ(vhtool("extract only-one-argument").status, 2);
}

}  // namespace
}  // namespace vh
