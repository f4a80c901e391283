#include "install/patcher.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>

#include "backup/backup.h"
#include "common/file_system.h"
#include "common/files.h"
#include "common/report.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "package/patch.h"
#include "support/registry_platform.h"
#include "tests/fake_file_system.h"
#include "tests/formats/archive_fixture.h"
#include "tests/recording_host.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::Rec;
using test::TempDir;

// A root with `count` - 1 children, every one a plain record.
std::string flatRecords(int count, const Rec& special = {}, int specialAt = -1) {
  std::vector<Rec> records;
  Rec root;
  root.type1 = 1;
  root.childCount = static_cast<uint16_t>(count - 1);
  records.push_back(root);
  for (int i = 1; i < count; ++i) {
    Rec r;
    r.type1 = 29;
    r.subString = test::embedded("", "old text", "TL");
    records.push_back(i == specialAt ? special : r);
  }
  return test::recordFile(records);
}

class PatcherTest : public ::testing::Test {
 protected:
  PatcherTest() {
    test::makeFolders(dir / "prefix");
    test::makeFolders(dir / "game");
    test::writeFile(dir / "game/x.xarc", test::makeArchive({}));
  }
  void registry(const std::string& root) {
    test::writeFile(dir / "prefix/user.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Lumeric\\\\Tessary] 1\n\"root\"=\"" +
                                                 root + "\"\n");
  }
  std::string package(const std::vector<std::pair<std::string, std::string>>& members) {
    return test::writePackage(dir / "patch.dat", members);
  }
  TempDir dir;
  WineRegistry wine{test::localFiles(), dir / "prefix"};
  RecordingHost recording;
  Services services() { return {recording, recording, test::localFiles(), wine, ""}; }
};

TEST_F(PatcherTest, ABlankRegistryValueAsksForTheFolder) {
  registry("  \t ");
  recording.folderAnswers.push_back(dir.path() + "/game\\");
  tPatcher patcher(services());
  EXPECT_EQ(patcher.validateInstall(), 1);
  EXPECT_EQ(patcher.gameRoot, dir.path() + "/game/");
  EXPECT_EQ(recording.messages(), std::vector<std::string>{"Cannot find VHW info in registry. Please specify install path."});
  EXPECT_EQ(recording.texts(RecordingHost::Kind::FolderPrompt),
            std::vector<std::string>{"Please specify your VHW installation"});
}

TEST_F(PatcherTest, ARegistryFolderWithoutTheGameAsksWithTheOldPath) {
  registry(dir / "prefix");
  tPatcher patcher(services());
  patcher.patch = std::make_shared<tPatch>(recording);
  EXPECT_EQ(patcher.doReplace(), 0);  // the chooser is cancelled
  EXPECT_EQ(recording.messages(), (std::vector<std::string>{
                                      "Cannot find Varnhollow in the folder the registry names:" + (dir / "prefix"),
                                      "Cannot find Varnhollow installation."}));
  EXPECT_EQ(recording.texts(RecordingHost::Kind::FolderPrompt),
            std::vector<std::string>{"Please specify your VHW installation (it is no longer in " + (dir / "prefix") + ")"});
}

TEST_F(PatcherTest, ACancelledChooserFails) {
  tPatcher patcher(services());
  patcher.patch = std::make_shared<tPatch>(recording);
  EXPECT_EQ(patcher.doReplace(), 0);
  EXPECT_EQ(recording.messages(), (std::vector<std::string>{"Cannot find VHW info in registry. Please specify install path.",
                                                            "Cannot find Varnhollow installation."}));
}

TEST_F(PatcherTest, AValidatedFolderIsNotLookedUpAgain) {
  registry(dir / "game");
  tPatcher patcher(services());
  ASSERT_EQ(patcher.loadPatch(package({{"patchscene.lst", ""}})), 1);
  EXPECT_EQ(patcher.doReplace(), 1);  // no scenes, no extras: nothing to change
  registry("");
  EXPECT_EQ(patcher.doReplace(), 1);
  EXPECT_TRUE(recording.messages().empty());
}

TEST_F(PatcherTest, SubScenesPickTheirEntriesAndGlobalGetsTheHeroine) {
  registry(dir / "game");
  Rec heroine;
  heroine.type1 = 8;
  heroine.type2 = 1;
  heroine.title = "Mirel";
  test::makeFolders(dir / "game/Global/abc");
  test::writeFile(dir / "game/Global/Global.xarc",
                  test::makeArchive({{"g.xrc", flatRecords(4300, heroine, 4243)}, {"music.ogg", "OGG"}}));
  test::writeFile(dir / "game/Global/abc/abc.xarc", test::makeArchive({{"g.xrc", flatRecords(3)}}));
  const std::string trz =
      "id=Global990001\ntype=speech\nvalue=\xC4\xE3\n>>\n"   // the scene's own archive, 99
      "id=Global000002\ntype=speech\nvalue=zero\n>>\n";       // sub-scene 0: the one named abc
  tPatcher patcher(services());
  ASSERT_EQ(patcher.loadPatch(package({{"patchscene.lst",
                                        "scene=Global\nsub=99\npath=Global/Global.xarc\nsub=abc\npath=Global/abc/abc.xarc\n>>\n"},
                                       {"trans/Global.trz", trz}})),
            1);
  ASSERT_EQ(patcher.doReplace(), 1) << (recording.messages().empty() ? "" : recording.messages()[0]);

  tXARC global;
  ASSERT_EQ(global.open(dir / "game/Global/Global.xarc", recording), 1);
  const auto records = global.getXRC()->getRecordArray();
  EXPECT_EQ(records[4243]->data.title, "\xC3\xD7\xC0\xD9\x20");
  EXPECT_EQ(records[4243]->data.titleLength, 5);
  EXPECT_EQ(records[1]->data.subString, test::embedded("", "\xC4\xE3", "TL"));
  EXPECT_EQ(records[2]->data.subString, test::embedded("", "old text", "TL"));
  EXPECT_EQ(global.findFile("music.ogg")->bank->toString(), "OGG");
  tXARC abc;
  ASSERT_EQ(abc.open(dir / "game/Global/abc/abc.xarc", recording), 1);
  EXPECT_EQ(abc.getXRC()->getRecordArray()[2]->data.subString, test::embedded("", "zero", "TL"));
}

// Two scenes that name one archive write it in turn, the later one's bytes
// staying. Installed again as the first scene's entry changes, then once
// more when the second lets the archive go, the game ends as a fresh
// installation of the last package leaves it: nothing recorded for one
// scene may speak for bytes the other wrote.
TEST_F(PatcherTest, AnArchiveTwoScenesNameEndsAsAFreshInstallationLeavesIt) {
  registry(dir / "game");
  test::makeFolders(dir / "game/A/1");
  for (const char* archive : {"A/1/1.xarc", "A/A.xarc"}) {
    test::writeFile(dir / ("game/" + std::string(archive)), test::makeArchive({{"a.xrc", flatRecords(3)}}));
  }
  const auto install = [&](const std::string& text, const std::string& secondPath) {
    tPatcher patcher(services());
    ASSERT_EQ(patcher.loadPatch(package(
                  {{"patchscene.lst", "scene=A\nsub=1\npath=A/1/1.xarc\n>>\nscene=B\nsub=1\npath=" + secondPath + "\n>>\n"},
                   {"trans/A.trz", "id=A010001\ntype=speech\nvalue=" + text + "\n>>\n"},
                   {"trans/B.trz", "id=B010001\ntype=speech\nvalue=from B\n>>\n"}})),
              1);
    ASSERT_EQ(patcher.doReplace(), 1) << ::testing::PrintToString(recording.messages());
  };
  const auto textOf = [&](const std::string& archive) {
    tXARC read;
    EXPECT_EQ(read.open(dir / ("game/" + archive), recording), 1);
    return read.getXRC() ? read.getXRC()->getRecordArray()[1]->data.subString : "";
  };
  install("first", "A/1/1.xarc");
  EXPECT_EQ(textOf("A/1/1.xarc"), test::embedded("", "from B", "TL"));
  install("second", "A/1/1.xarc");
  EXPECT_EQ(textOf("A/1/1.xarc"), test::embedded("", "from B", "TL"));
  install("second", "A/A.xarc");
  EXPECT_EQ(textOf("A/1/1.xarc"), test::embedded("", "second", "TL"));
  EXPECT_EQ(textOf("A/A.xarc"), test::embedded("", "from B", "TL"));
}

// A scene's archives are renamed into place while the next scene is
// written: one that cannot be is told with its own scene, whichever scene
// was being written then, and nothing after it is put in place.
TEST_F(PatcherTest, AnArchiveThatCannotBePutInPlaceIsToldWithItsScene) {
  registry(dir / "game");
  std::map<std::string, std::string> originals;
  for (const char* scene : {"A", "B", "C"}) {
    const std::string archive = std::string(scene) + "/" + scene + ".xarc";
    test::makeFolders(dir / ("game/" + std::string(scene)));
    originals[archive] = test::makeArchive({{"a.xrc", flatRecords(3)}});
    test::writeFile(dir / ("game/" + archive), originals[archive]);
  }
  // Like Windows, the test's file system replaces no file open for reading.
  test::FakeFileSystem files;
  tPatcher patcher(Services{recording, recording, files, wine, ""});
  ASSERT_EQ(patcher.loadPatch(package({{"patchscene.lst",
                                        "scene=A\nsub=99\npath=A/A.xarc\n>>\nscene=B\nsub=99\npath=B/B.xarc\n>>\n"
                                        "scene=C\nsub=99\npath=C/C.xarc\n>>\n"},
                                       {"trans/A.trz", "id=A990001\ntype=speech\nvalue=a\n>>\n"},
                                       {"trans/B.trz", "id=B990001\ntype=speech\nvalue=b\n>>\n"},
                                       {"trans/C.trz", "id=C990001\ntype=speech\nvalue=c\n>>\n"}})),
            1);
  const std::string held = dir / "game/B/B.xarc";
  const auto reader = files.openRegular(held);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(patcher.doReplace(), 0);
  EXPECT_EQ(recording.messages(), (std::vector<std::string>{"failed to write:" + held, "failed applying patch:B"}));
  EXPECT_NE(test::readFile(dir / "game/A/A.xarc"), originals["A/A.xarc"]);
  EXPECT_EQ(test::readFile(held), originals["B/B.xarc"]);
  EXPECT_EQ(test::readFile(dir / "game/C/C.xarc"), originals["C/C.xarc"]);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "game")) {
    EXPECT_EQ(entry.path().string().find(".vhnew-"), std::string::npos) << entry.path();
  }
}

TEST_F(PatcherTest, TheHeroinesNameNeedsTheRightKindAndEnoughRecords) {
  tXARC archive;
  Rec other;
  other.type1 = 8;
  other.type2 = 2;
  other.title = "Mirel";
  test::writeFile(dir / "a.xarc", test::makeArchive({{"g.xrc", flatRecords(4244, other, 4243)}}));
  test::writeFile(dir / "b.xarc", test::makeArchive({{"g.xrc", flatRecords(4243)}}));
  tPatcher patcher(services());
  ASSERT_EQ(archive.open(dir / "a.xarc", recording), 1);
  patcher.replaceMirel(*archive.getXRC());
  EXPECT_EQ(archive.getXRC()->getRecordArray()[4243]->data.title, "Mirel");
  tXARC shorter;
  ASSERT_EQ(shorter.open(dir / "b.xarc", recording), 1);
  patcher.replaceMirel(*shorter.getXRC());  // no record 4243: nothing happens
  EXPECT_EQ(shorter.getXRC()->getRecordArray().size(), 4243u);
}

TEST_F(PatcherTest, ExtraFilesStayInsideTheGameFolder) {
  registry(dir / "game");
  tPatcher patcher(services());
  ASSERT_EQ(patcher.loadPatch(package({{"patchscene.lst", ""},
                                       {"extra.lst", "readme.txt\r\n../escape.txt\r\n/tmp/abs.txt\r\nC:\\x.txt\r\n"
                                                     "docs/manual.txt\r\nmissing.txt\r\ngone/missing.txt\r\n\r\n"
                                                     ".\\docs\\\\notes.txt\r\n.VHPATCH-BACKUP\\x.pieces\r\n"},
                                       {"extra/readme.txt", "hello"},
                                       {"extra/../escape.txt", "bad"},
                                       {"extra/docs/manual.txt", "manual"},
                                       {"extra/.\\docs\\\\notes.txt", "notes"},
                                       {"extra/.VHPATCH-BACKUP\\x.pieces", "bad"}})),
            1);
  ASSERT_EQ(patcher.doReplace(), 1);
  EXPECT_EQ(test::readFile(dir / "game/readme.txt"), "hello");
  EXPECT_EQ(test::readFile(dir / "game/docs/manual.txt"), "manual");
  // The member by the line as it stands, the file by its normal form.
  EXPECT_EQ(test::readFile(dir / "game/docs/notes.txt"), "notes");
  EXPECT_FALSE(folderExists(dir / "game/.VHPATCH-BACKUP"));
  EXPECT_FALSE(fileExists(dir / "escape.txt"));
  EXPECT_FALSE(fileExists(dir / "game/missing.txt"));
  EXPECT_FALSE(folderExists(dir / "game/gone"));  // no folder for a file the package lacks
  EXPECT_EQ(recording.messages(), (std::vector<std::string>{"refused extra file outside the game folder:../escape.txt",
                                                            "refused extra file outside the game folder:/tmp/abs.txt",
                                                            "refused extra file outside the game folder:C:\\x.txt",
                                                            "refused extra file outside the game folder:"
                                                            ".VHPATCH-BACKUP\\x.pieces"}));
  EXPECT_EQ(recording.output().front(), "extra/readme.txt");
  EXPECT_EQ(recording.output().size(), 9u);  // every non-empty line is named
}

TEST_F(PatcherTest, ExtraFilesCheckedWhileTheInstallationPlansAreCheckedBeforeItWrites) {
  registry(dir / "game");
  const std::vector<std::pair<std::string, std::string>> members = {
      {"patchscene.lst", ""},
      {"extra.lst", "readme.txt\r\n"},
      {"extra/readme.txt", "a readme that the installer copies into the game folder"}};
  // A killed run's unfinished copy of the extra file.
  const std::string leftover = dir / ("game/readme.txt" + std::string(kNewFileMark) + "a1b2c3");
  for (const bool damaged : {true, false}) {
    test::writeFile(leftover, "half a readme");
    recording.events.clear();
    const std::string url = package(members);
    if (damaged) test::damageMember(url, "extra/readme.txt");
    tPatcher patcher(services());
    ASSERT_EQ(patcher.loadPatch(url, true), 1) << damaged;
    if (damaged) {
      // Refused as the load would have refused it, with nothing written or
      // removed in the game folder.
      EXPECT_THROW(patcher.doReplace(), FatalError);
      EXPECT_EQ(recording.messages(), std::vector<std::string>{"damaged patch member:extra/readme.txt"});
      EXPECT_FALSE(fileExists(dir / "game/readme.txt"));
      EXPECT_TRUE(fileExists(leftover));
    } else {
      EXPECT_EQ(patcher.doReplace(), 1);
      EXPECT_EQ(test::readFile(dir / "game/readme.txt"), members.back().second);
      EXPECT_FALSE(fileExists(leftover));
    }
  }
}

TEST_F(PatcherTest, ReplaceSceneByNameIgnoresUnknownScenes) {
  registry(dir / "game");
  tPatcher patcher(services());
  ASSERT_EQ(patcher.loadPatch(package({{"patchscene.lst", "scene=A\nsub=99\npath=A/A.xarc\n>>\n"}})), 1);
  EXPECT_EQ(patcher.replaceSceneByName("Nowhere"), 0);
  EXPECT_TRUE(recording.messages().empty());
}

}  // namespace
}  // namespace vh
