// Member names in the archives' own encoding: GBK in the archive, UTF-8 on
// the command line and on disk. A picture named in Chinese goes from
// extraction to the installed member with the real programs; a picture for
// a member the game lacks is reported by check and refused by the installer
// before anything is written.
#include "tools/member_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "formats/xarc.h"
#include "pictures/picture_files.h"
#include "tests/app/installation.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"
#include "translation/gbk.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;

const std::string kName = "\xE8\x83\x8C\xE6\x99\xAF.XMG";  // 背景.XMG in UTF-8
const std::string kStored = "\xB1\xB3\xBE\xB0.XMG";        // and in GBK, as the archive holds it

TEST(MemberNames, AreConvertedBothWaysAndKeptWhereTheyAreNoText) {
  const struct {
    const char* what;
    std::string typed;
    std::optional<std::string> stored;
  } kCases[] = {
      {"ASCII", "scene.XMG", "scene.XMG"},
      {"Chinese in UTF-8", kName, kStored},
      {"already GBK, as an earlier extraction named it", kStored, kStored},
      {"a character GBK lacks", "\xF0\x9F\x98\x80.xmg", std::nullopt},
  };
  for (const auto& c : kCases) EXPECT_EQ(archiveName(c.typed), c.stored) << c.what;
  EXPECT_EQ(diskName(kStored), kName);
  EXPECT_EQ(diskName("\xFF\xFE.bin"), "\xFF\xFE.bin");  // no GBK: the bytes as they are
  EXPECT_EQ(tool::memberDiskName("..\\" + kStored), kName);
}

class ChineseMemberNames : public testing::Test {
 protected:
  test::CommandResult vhtool(const std::string& args) const {
    return test::runCommand("LC_ALL=C.UTF-8 '" + test::binaryPath("vhtool") + "' " + args);
  }
  std::string archive(const std::string& root) const { return root + "/Inn/Inn.xarc"; }
  std::string member(const std::string& root) const {
    RecordingHost quiet;
    tXARC opened;
    EXPECT_EQ(opened.open(archive(root), quiet), 1);
    const tXFilePtr found = opened.findFile(kStored);
    return found ? found->bank->toString() : "<missing>";
  }

  Installation setup{"", 3, "--scenes 3 --subs 1 --shapes"};
  test::TempDir work;
};

TEST_F(ChineseMemberNames, APictureGoesFromExtractionToTheInstalledMember) {
  const std::string original = member(setup.original);
  EXPECT_NE(vhtool("xarc list '" + archive(setup.original) + "'").out.find(kName), std::string::npos);
  auto ran = vhtool("extract '" + archive(setup.original) + "' '" + kName + "' '" + (work / "one.xmg") + "'");
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(test::readFile(work / "one.xmg") == original);
  ran = vhtool("xarc extract '" + archive(setup.original) + "' -o '" + (work / "all") + "'");
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(test::readFile(work / ("all/" + kName)) == original);
  EXPECT_FALSE(fs::exists(work / ("all/" + kStored)));

  ran = vhtool("xmg2png '" + (work / ("all/" + kName)) + "' '" + (work / "edited.png") + "'");
  ASSERT_EQ(ran.status, 0) << ran.err;
  Picture picture = readPicture(work / "edited.png").value();
  for (size_t i = 0; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;  // all red
  writePicture(test::localFiles(), work / "edited.png", picture);
  ASSERT_EQ(vhtool("png2xmg '" + (work / "edited.png") + "' '" + (work / "edited.xmg") + "'").status, 0);
  test::makeFolders(setup.program + "/images/Inn/99");
  fs::copy_file(work / "edited.png", setup.program + "/images/Inn/99/" + kName + ".png");

  const auto checked = vhtool("check '" + setup.original + "' '" + setup.program + "'");
  EXPECT_EQ(checked.out.find("/images/"), std::string::npos) << checked.out;
  ran = setup.vhpatch("makeandapply");
  ASSERT_EQ(ran.status, 0) << ran.out << ran.err;
  EXPECT_TRUE(member(setup.game) == test::readFile(work / "edited.xmg"));
  EXPECT_FALSE(member(setup.game) == original);
}

TEST_F(ChineseMemberNames, APictureForAMemberTheGameLacksIsRefusedBeforeAnythingIsWritten) {
  const std::string missing = "\xE5\x89\x8D\xE6\x99\xAF.XMG";  // 前景.XMG: no archive holds it
  ASSERT_EQ(vhtool("xarc extract '" + archive(setup.original) + "' '" + kName + "' -o '" + work.path() + "'").status, 0);
  ASSERT_EQ(vhtool("xmg2png '" + (work / kName) + "' '" + (work / "p.png") + "'").status, 0);
  test::makeFolders(setup.program + "/images/Inn/99");
  test::makeFolders(setup.program + "/images/Global/99");
  fs::copy_file(work / "p.png", setup.program + "/images/Global/99/" + kName + ".png");  // a good one first
  fs::copy_file(work / "p.png", setup.program + "/images/Inn/99/" + missing + ".png");

  const auto checked = vhtool("check '" + setup.original + "' '" + setup.program + "'");
  EXPECT_EQ(checked.status, 1);
  EXPECT_NE(checked.out.find(setup.program + "/images/Inn/99/" + missing + ".png:1: Inn/Inn.xarc has no member \"" +
                             missing + "\""),
            std::string::npos)
      << checked.out;
  EXPECT_EQ(checked.out.find("images/Global"), std::string::npos) << checked.out;

  const auto before = test::tree(setup.game);
  const auto ran = setup.vhpatch("makeandapply");
  EXPECT_EQ(ran.status, 1);
  EXPECT_NE((ran.out + ran.err).find("the game has no member for the picture:Inn/99/" + missing + ".png (Inn/Inn.xarc)"),
            std::string::npos)
      << ran.out << ran.err;
  EXPECT_TRUE(test::tree(setup.game) == before);
}

}  // namespace
}  // namespace vh
