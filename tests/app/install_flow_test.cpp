// The real programs end to end: vhtool writes a made-up game and working
// tree, vhpatch packs the tree into patch.dat and installs it from a folder
// of its own, finding the game through a Wine registry file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/files.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "install/patcher.h"
#include "package/patch.h"
#include "support/zip.h"
#include "tests/app/installation.h"
#include "tests/app/recording_desktop.h"
#include "tests/test_support.h"
#include "translation/trz.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::expectPatched;
using test::Installation;
using test::kHeroine;
using test::TempDir;
using test::userReg;

std::vector<std::string> memberOrder(const std::string& package) {
  const auto listed = test::runCommand("unzip -Z1 '" + package + "'");
  std::vector<std::string> names;
  std::string line;
  for (char c : listed.out) {
    if (c == '\n') {
      names.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  return names;
}

std::string memberBytes(const std::string& package, const std::string& member) {
  ZipReader reader;
  if (!reader.OpenZip(package)) return "<no package>";
  auto stream = reader.ExtractFile(member, 1, "");
  if (!stream) return "<missing>";
  return stream->readString(static_cast<size_t>(stream->size()));
}

TEST(InstallFlow, MakePacksTheWorkingTreeInItsOrder) {
  Installation setup;
  const auto made = setup.vhpatch("MAKE");
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, "packing patch\n");
  EXPECT_NE(made.err.find("Patch gerenating is done!"), std::string::npos);

  const std::string package = setup.program + "/patch.dat";
  const std::vector<std::string> members = memberOrder(package);
  ASSERT_FALSE(members.empty());
  EXPECT_EQ(members.front(), "patchscene.lst");
  // trans/ files, then extra/ files and their list, then add-ons and theirs.
  size_t i = 1;
  while (i < members.size() && members[i].rfind("trans/", 0) == 0) ++i;
  EXPECT_GT(i, 1u);
  while (i < members.size() && members[i].rfind("extra/", 0) == 0) ++i;
  ASSERT_LT(i, members.size());
  EXPECT_EQ(members[i++], "extra.lst");
  while (i < members.size() && members[i].rfind("addon/", 0) == 0) ++i;
  ASSERT_LT(i, members.size());
  EXPECT_EQ(members[i++], "addon.lst");
  EXPECT_EQ(i, members.size());
  // The non-TRZ file and the subfolder's content stay out; the capital .TRZ
  // file is in.
  for (const std::string& m : members) {
    EXPECT_EQ(m.find("notes.txt"), std::string::npos);
    EXPECT_EQ(m.find("manual.txt"), std::string::npos);
  }
  bool capital = false;
  for (const std::string& m : members) capital = capital || (m.size() > 4 && m.substr(m.size() - 4) == ".TRZ");
  EXPECT_TRUE(capital);

  // The list members' exact bytes.
  std::string extraList;
  for (const std::string& name : listFolder(setup.program + "/extra", true)) extraList += name + "\r\n";
  EXPECT_EQ(memberBytes(package, "extra.lst"), extraList);
  std::string addonList;
  for (const std::string& name : listFolder(setup.program + "/addon", true)) addonList += name + "\r\n";
  EXPECT_EQ(memberBytes(package, "addon.lst"), addonList);
  const std::string sceneList = memberBytes(package, "patchscene.lst");
  EXPECT_NE(sceneList.find("scene=Global\r\nsub=99\r\npath=Global/Global.xarc\r\nsub="), std::string::npos);
  EXPECT_NE(sceneList.find("path=static/Lighthouse/Lighthouse.xarc\r\n"), std::string::npos);
  EXPECT_EQ(sceneList.find("NotAScene"), std::string::npos);
}

TEST(InstallFlow, MakeAndApplyInstallsThroughTheRegistry) {
  Installation setup;
  const auto result = setup.vhpatch("makeandapply");
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_NE(result.err.find("data written"), std::string::npos) << result.err;
  EXPECT_NE(result.out.find("extra/readme_cn.txt\n"), std::string::npos) << result.out;
  expectPatched(setup);
  // The registry file was only read.
  EXPECT_EQ(test::readFile(setup.prefix + "/user.reg"), userReg(setup.game));
}

TEST(InstallFlow, ADriveLetterPathResolvesThroughDosdevices) {
  TempDir drive;
  Installation setup("C:\\Games\\Varnhollow\\");
  fs::create_directories(setup.prefix + "/dosdevices");
  fs::create_directories(drive / "Games");
  fs::create_directory_symlink(drive.path(), setup.prefix + "/dosdevices/c:");
  fs::rename(setup.game, drive / "Games/Varnhollow");
  fs::create_directory_symlink(drive / "Games/Varnhollow", setup.game);
  const auto result = setup.vhpatch("makeandapply");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("data written"), std::string::npos) << result.err;
  expectPatched(setup);
}

TEST(InstallFlow, WithoutARegistryKeyTheFolderComesFromStandardInput) {
  Installation setup;
  test::writeFile(setup.prefix + "/user.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1\n\n");
  const auto result = setup.vhpatch("makeandapply", setup.game + "\n");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("Cannot find VHW info in registry. Please specify install path."), std::string::npos);
  EXPECT_NE(result.err.find("Please specify your VHW installation"), std::string::npos);
  expectPatched(setup);
}

TEST(InstallFlow, DefaultModeInstallsOnEnterAndEndsWithTheInput) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const auto result = setup.vhpatch("", "\n\n");  // a second press is ignored
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("Done!"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("Done!"), result.err.rfind("Done!"));
  expectPatched(setup);
}

TEST(InstallFlow, ClosingWithoutInstallingChangesNothing) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const auto result = setup.vhpatch("");
  EXPECT_EQ(result.status, 0) << result.err;
  for (const std::string& archive : setup.archives()) {
    EXPECT_EQ(test::readFile(setup.game + "/" + archive), test::readFile(setup.original + "/" + archive));
  }
}

TEST(InstallFlow, AMissingPackageEndsWithItsFatalError) {
  Installation setup;
  const auto result = setup.vhpatch("");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, "error in reading patch:patch.dat\n");
  EXPECT_NE(result.err.find("patch file not found"), std::string::npos);
}

TEST(InstallFlow, AMissingArchiveStopsAtItsSceneAndLeavesTheRestAlone) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  // Scenes install in name order: the third one loses an archive.
  std::vector<std::string> scenes;
  for (const auto& name : listFolder(setup.program + "/data", true)) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".orz") scenes.push_back(name.substr(0, name.size() - 4));
  }
  std::sort(scenes.begin(), scenes.end());
  ASSERT_GE(scenes.size(), 5u);
  const std::string third = scenes[2];
  const std::string prefix = third.size() > 6 ? "static/" : "";
  fs::remove(setup.game + "/" + prefix + third + "/1/1.xarc");
  const auto result = setup.vhpatch("", "\n");
  EXPECT_EQ(result.status, 1);  // the window stayed until closed, then the failure counts
  const std::string failedRead = "failed to read:" + setup.game + "/" + prefix + third + "/1/1.xarc";
  const size_t read = result.err.find(failedRead);
  const size_t applying = result.err.find("failed applying patch:" + third);
  ASSERT_NE(read, std::string::npos) << result.err;
  ASSERT_NE(applying, std::string::npos) << result.err;
  EXPECT_LT(read, applying);
  EXPECT_EQ(result.err.find("Done!"), std::string::npos);
  for (size_t k = 0; k < scenes.size(); ++k) {
    const std::string p = (scenes[k].size() > 6 ? "static/" : "") + scenes[k] + "/" + scenes[k] + ".xarc";
    const bool same = test::readFile(setup.game + "/" + p) == test::readFile(setup.original + "/" + p);
    if (k < 2) {
      EXPECT_FALSE(same) << p << " should be patched";
    } else if (k > 2) {
      EXPECT_TRUE(same) << p << " should be untouched";
    }
  }
}

}  // namespace
}  // namespace vh
