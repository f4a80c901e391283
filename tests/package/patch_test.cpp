#include "package/patch.h"

#include <gtest/gtest.h>

#include "tests/recording_host.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"
#include "translation/trz.h"

namespace vh {
namespace {

using test::TempDir;

class PatchTest : public ::testing::Test {
 protected:
  // A package of the given members, written through the program's own writer.
  std::string package(const std::vector<std::pair<std::string, std::string>>& members) {
    return test::writePackage(dir / "patch.dat", members);
  }
  TempDir dir;
  RecordingHost recording;
};

const std::string kTwoScenes =
    "scene=Harbor\r\nsub=99\r\npath=Harbor/Harbor.xarc\r\nsub=1\r\npath=Harbor/1/1.xarc\r\n>>\r\n"
    "scene=Attic\r\nsub=99\r\npath=Attic/Attic.xarc\r\n>>\r\n";

TEST_F(PatchTest, OpenReportsAMissingOrForeignPackage) {
  tPatch missing(recording);
  EXPECT_EQ(missing.open(dir / "none.dat"), 0);
  test::writeFile(dir / "junk.dat", "not a zip package at all");
  tPatch junk(recording);
  EXPECT_EQ(junk.open(dir / "junk.dat"), 0);
  tPatch noList(recording);
  EXPECT_EQ(noList.open(package({{"extra.lst", ""}})), 0);
  EXPECT_EQ(recording.messages(),
            (std::vector<std::string>{"patch file not found", "patch file damaged", "error in reading scenelist"}));
}

TEST_F(PatchTest, AnyDamagedMemberTheInstallationUsesRefusesThePackage) {
  std::string lines;
  for (int i = 0; i < 300; ++i) lines += "id=Harbor01" + std::to_string(1000 + i) + "\ntype=speech\nvalue=line\n>>\n";
  const std::vector<std::pair<std::string, std::string>> members = {
      {"patchscene.lst", kTwoScenes},
      {"trans/Harbor.trz", lines},
      {"addon.lst", "first.txt\r\nmissing.txt\r\n"},
      {"addon/first.txt", "id=Harbor010005\ntype=speech\nvalue=an add-on of some length\n"},
      {"extra.lst", "readme.txt\r\n../outside.txt\r\nmissing.txt\r\n"},
      {"extra/readme.txt", "a readme that the installer copies into the game folder"},
      {"extra/../outside.txt", "never read: the installer refuses the line"},
      {"images/sign.xmg", "an image the installation does not read"},
  };
  {
    // Closed before the package is rewritten below: Windows does not
    // replace a file a reader holds open.
    tPatch sound(recording);
    ASSERT_EQ(sound.open(package(members)), 1);
  }
  // Members the installation never reads do not stop it.
  const std::vector<std::pair<std::string, bool>> spoilt = {
      {"patchscene.lst", true},  {"trans/Harbor.trz", true},      {"addon.lst", true},
      {"addon/first.txt", true}, {"extra.lst", true},             {"extra/readme.txt", true},
      {"extra/../outside.txt", false}, {"images/sign.xmg", false},
  };
  // Loaded for an installation that follows at once, the extra files'
  // verdict may come after the load: the same member refuses the package,
  // at one or the other.
  const auto opened = [this](const std::string& url, bool meanwhile) {
    tPatch patch(recording);
    if (!meanwhile) return patch.open(url);
    if (!patch.openCheckingExtrasMeanwhile(url)) return 0;
    const std::optional<Fault> fault = patch.extrasChecked();
    if (fault) recording.messageBox(fault->detail);
    EXPECT_FALSE(patch.extrasChecked()) << "a verdict is taken once";
    return fault ? 0 : 1;
  };
  for (const bool meanwhile : {false, true}) {
    for (const auto& [member, refused] : spoilt) {
      recording.events.clear();
      test::damageMember(package(members), member);
      EXPECT_EQ(opened(dir / "patch.dat", meanwhile), refused ? 0 : 1) << member << meanwhile;
      EXPECT_EQ(recording.messages(),
                refused ? std::vector<std::string>{"damaged patch member:" + member} : std::vector<std::string>{})
          << member << meanwhile;
    }
    // With two faults the package is refused for the one the loading meets
    // first, although the extra files are checked meanwhile on another
    // thread: the translation data before the extra files, the extra files
    // before the game-version list.
    auto withFingerprints = members;
    withFingerprints.emplace_back("fingerprint.lst", "path=Harbor/Harbor.xarc\r\nshape=a shape of some length\r\n");
    for (const auto& [first, second] :
         std::vector<std::pair<std::string, std::string>>{{"trans/Harbor.trz", "extra/readme.txt"},
                                                          {"extra/readme.txt", "fingerprint.lst"}}) {
      recording.events.clear();
      const std::string both = package(withFingerprints);
      test::damageMember(both, first);
      test::damageMember(both, second);
      EXPECT_EQ(opened(both, meanwhile), 0) << first << meanwhile;
      EXPECT_EQ(recording.messages(), std::vector<std::string>{"damaged patch member:" + first}) << meanwhile;
    }
  }
}

TEST_F(PatchTest, ScenesAndSubScenesComeInNameOrderAndRepeatsCount) {
  tPatch patch(recording);
  ASSERT_EQ(patch.open(package({{"patchscene.lst", kTwoScenes + "scene=Attic\nsub=3\npath=Attic/3/3.xarc\n>>\n"}})), 1);
  EXPECT_EQ(patch.scncount, 3);
  ASSERT_EQ(patch.scenes.size(), 2u);
  EXPECT_EQ(patch.scenes.begin()->first, "Attic");  // listed last, installed first
  const auto& attic = *patch.scenes.at("Attic");
  ASSERT_EQ(attic.subs.size(), 1u);  // the later block replaced the earlier
  EXPECT_EQ(attic.subs.at("3")->path, "Attic/3/3.xarc");
  const auto& harbor = *patch.scenes.at("Harbor");
  EXPECT_EQ(harbor.subcount, 2);
  EXPECT_EQ(harbor.subs.begin()->first, "1");
  EXPECT_EQ(harbor.subs.at("99")->path, "Harbor/Harbor.xarc");
  EXPECT_EQ(harbor.trz, nullptr);
  EXPECT_TRUE(recording.messages().empty());
}

TEST_F(PatchTest, AnEmptySceneListLoads) {
  tPatch patch(recording);
  ASSERT_EQ(patch.open(package({{"patchscene.lst", ""}})), 1);
  EXPECT_TRUE(patch.scenes.empty());
  EXPECT_EQ(patch.scncount, 0);
}

TEST_F(PatchTest, AddOnsFollowTheSceneTableAndTheFirstListedWins) {
  const std::string trz = "id=Harbor010005\ntype=speech\nvalue=from the table\n>>\n";
  tPatch patch(recording);
  ASSERT_EQ(patch.open(package({
                {"patchscene.lst", kTwoScenes},
                {"trans/Harbor.trz", trz},
                {"addon.lst", "first.txt\r\nmissing.txt\r\nsecond.txt\r\nattic.txt\r\n"},
                {"addon/first.txt", "id=Harbor010005\ntype=speech\nvalue::=ignored\nx\ny\n"},
                {"addon/second.txt", "id=Harbor010005\ntype=speech\nvalue=a=b\nlength=3\n=ignored\n"},
                {"addon/attic.txt", "id=Attic990001\ntype=object\nvalue=lamp\n"},
            })),
            1);
  const auto& records = patch.scenes.at("Harbor")->trz->records;
  ASSERT_EQ(records.size(), 3u);
  auto it = records.begin();
  EXPECT_EQ(it->value, "from the table");
  ++it;
  EXPECT_EQ(it->value, "a=b");
  EXPECT_EQ(it->length, 3);
  ++it;
  EXPECT_EQ(it->value, "x\ny\n");  // applied last, so it decides the text
  EXPECT_EQ(it->typeId, 2);
  EXPECT_EQ(it->subId, 1);
  EXPECT_EQ(it->recId, 5);
  // Attic has no table of its own: its add-on is never used.
  EXPECT_EQ(patch.scenes.at("Attic")->trz, nullptr);
  EXPECT_EQ(patch.addonRecords.size(), 3u);
}

TEST_F(PatchTest, TranslationMembersAreFoundWhateverTheirCase) {
  tPatch patch(recording);
  ASSERT_EQ(patch.open(package({{"patchscene.lst", kTwoScenes}, {"TRANS/harbor.TRZ", "id=Harbor990001\n>>\n"}})), 1);
  ASSERT_NE(patch.scenes.at("Harbor")->trz, nullptr);
  EXPECT_EQ(patch.scenes.at("Harbor")->trz->records.size(), 1u);
}

TEST_F(PatchTest, ImagesAttachToTheirSubScenes) {
  tPatch patch(recording);
  ASSERT_EQ(patch.open(package({
                {"patchscene.lst", kTwoScenes},
                {"images/images.lst",
                 "name=sign.png\norigin=SIGN.XMG\nscene=Harbor\nsub=1\n>>\nname=dir.v2\\door.bmp\norigin=door.xmg\nscene=Attic\n"
                 "sub=99\n>>\nname=never.png\nscene=Attic\nsub=99\n"},
                {"images/sign.xmg", "XMG1"},
                {"images/dir.v2/door.xmg", "XMG2"},
            })),
            1);
  ASSERT_EQ(patch.readImages(), 1);
  const auto& harbor = *patch.scenes.at("Harbor")->subs.at("1");
  ASSERT_EQ(harbor.hasImages(), 1);
  EXPECT_EQ(harbor.images->front()->oname, "SIGN.XMG");
  EXPECT_EQ(harbor.images->front()->imagebuffer->toString(), "XMG1");
  const auto& attic = *patch.scenes.at("Attic")->subs.at("99");
  ASSERT_EQ(attic.images->size(), 1u);  // the entry without ">>" is dropped
  EXPECT_EQ(attic.images->front()->imagebuffer->toString(), "XMG2");
  EXPECT_EQ(patch.scenes.at("Harbor")->subs.at("99")->hasImages(), 0);
}

TEST_F(PatchTest, BadImageEntriesStopWithTheirMessage) {
  {
    tPatch unknown(recording);  // closed before the package is rewritten
    ASSERT_EQ(unknown.open(package({{"patchscene.lst", kTwoScenes},
                                    {"images/images.lst", "name=a.png\nscene=Harbor\nsub=7\n>>\n"}})),
              1);
    EXPECT_EQ(unknown.readImages(), 0);
  }
  tPatch missing(recording);
  ASSERT_EQ(missing.open(package({{"patchscene.lst", kTwoScenes},
                                  {"images/images.lst", "name=b.png\nscene=Harbor\nsub=1\n>>\n"}})),
            1);
  EXPECT_EQ(missing.readImages(), 0);
  EXPECT_EQ(recording.messages(), (std::vector<std::string>{"Invalid image patch:a.png", "Image patch not found:b.png"}));
}

// The readers under open() and readImages() show nothing: their faults say
// what open() and readImages() show.
TEST_F(PatchTest, ReadersReturnTheFaultsTheirAdaptersShow) {
  struct Case {
    std::string file;
    std::vector<std::pair<std::string, std::string>> members;  // none: the file as it stands
    Fault expected;
    bool images = false;  // the fault comes from the image list
  };
  const std::string escaping = "scene=Harbor\r\nsub=1\r\npath=../x.xarc\r\n>>\r\n";
  const std::vector<Case> cases = {
      {"none.dat", {}, {FaultKind::CannotOpen, "patch file not found"}},
      {"junk.dat", {}, {FaultKind::Damaged, "patch file damaged"}},
      {"patch.dat", {{"extra.lst", ""}}, {FaultKind::Damaged, "error in reading scenelist"}},
      {"patch.dat", {{"patchscene.lst", escaping}}, {FaultKind::Damaged, "refused archive path outside the game folder:../x.xarc"}},
      {"patch.dat",
       {{"patchscene.lst", kTwoScenes}, {"images/images.lst", "name=a.png\nscene=Attic\nsub=2\n>>\n"}},
       {FaultKind::Damaged, "Invalid image patch:a.png"},
       true},
  };
  test::writeFile(dir / "junk.dat", "not a zip package at all");
  for (const Case& c : cases) {
    if (!c.members.empty()) package(c.members);
    tPatch patch(recording);
    std::optional<Fault> fault = patch.read(dir / c.file);
    if (c.images) {
      ASSERT_FALSE(fault) << fault->detail;
      fault = patch.readImageList();
    }
    ASSERT_TRUE(fault) << c.expected.detail;
    EXPECT_EQ(*fault, c.expected);
  }
  EXPECT_TRUE(recording.events.empty());
}

}  // namespace
}  // namespace vh
