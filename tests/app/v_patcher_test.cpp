#include "app/v_patcher.h"

#include <gtest/gtest.h>

#include "package/patch.h"
#include "tests/install/small_game.h"
#include "tests/app/recording_desktop.h"

namespace vh {
namespace {

struct Bar : ProgressBar {
  void setFraction(double f) override { shown.push_back(wholePercent(f)); }
  std::vector<int> shown;
};

TEST(WholePercent, CutsTowardZero) {
  EXPECT_EQ(wholePercent(0.125), 12);
  EXPECT_EQ(wholePercent(0.375), 37);
  EXPECT_EQ(wholePercent(0.999), 99);
  EXPECT_EQ(wholePercent(1.0), 100);
  EXPECT_EQ(wholePercent(0.0), 0);
  EXPECT_EQ(wholePercent(0.0 / 0.0), 0);
}

class VPatcherTest : public ::testing::Test {
 protected:
  VPatcherTest() { patcher.setProgBar(&sceneBar, &overallBar); }
  RecordingDesktop recording;
  vPatcher patcher{recording.services(), recording};
  Bar sceneBar, overallBar;
};

TEST_F(VPatcherTest, ASceneOfFourSubScenesPassesQuartersThenZero) {
  tPatchScene scene;
  scene.subcount = 4;
  tSubScene sub;
  patcher.total_scene = 1;
  patcher.onStartScn(scene);
  for (int i = 0; i < 4; ++i) patcher.onCompleteSub(sub);
  patcher.onCompeleteScn(scene);
  EXPECT_EQ(sceneBar.shown, (std::vector<int>{25, 50, 75, 100, 0}));
  EXPECT_EQ(overallBar.shown.back(), 100);
  // Every step repaints: a 1 ms pause, then the pending messages.
  EXPECT_EQ(recording.texts(RecordingDesktop::Kind::Pause).size(), 5u);
  EXPECT_EQ(recording.texts(RecordingDesktop::Kind::Pump).size(), 5u);
}

// The pause gives windows time to repaint; a terminal has none, and the
// messages are still passed on in both.
TEST_F(VPatcherTest, PausesOnlyWhereWindowsAreShown) {
  for (const bool shown : {true, false}) {
    recording.events.clear();
    recording.windowsShown = shown;
    tSubScene sub;
    for (int i = 0; i < 3; ++i) patcher.onCompleteSub(sub);
    EXPECT_EQ(recording.texts(RecordingDesktop::Kind::Pause), std::vector<std::string>(shown ? 3 : 0, "1"))
        << (shown ? "with windows" : "in a terminal");
    EXPECT_EQ(recording.texts(RecordingDesktop::Kind::Pump).size(), 3u);
  }
}

TEST_F(VPatcherTest, EightScenesStepTheOverallBarByTwelve) {
  patcher.total_scene = 8;
  tPatchScene scene;
  for (int i = 0; i < 8; ++i) {
    patcher.onStartScn(scene);
    patcher.onCompeleteScn(scene);
  }
  EXPECT_EQ(overallBar.shown, (std::vector<int>{12, 25, 37, 50, 62, 75, 87, 100}));
  EXPECT_EQ(sceneBar.shown, std::vector<int>(8, 0));  // no sub-scenes: 0, not 0/0
}

TEST_F(VPatcherTest, DoReplaceCountsScenesFromThePackage) {
  patcher.patch = std::make_shared<tPatch>(recording);
  patcher.patch->scncount = 3;
  patcher.gameValid = 0;
  recording.folderAnswers.push_back("");
  EXPECT_EQ(patcher.doReplace(), 0);  // no game folder: nothing installed
  EXPECT_EQ(patcher.total_scene, 3);
}

TEST_F(VPatcherTest, AnInstallationStepsTheSceneBarAfterEveryArchive) {
  test::SmallGame game;
  ASSERT_EQ(game.install(patcher), 1) << ::testing::PrintToString(recording.messages());
  // One scene of two archives: half, whole, then the next scene starts at 0.
  EXPECT_EQ(sceneBar.shown, (std::vector<int>{50, 100, 0}));
  EXPECT_EQ(overallBar.shown, (std::vector<int>{0, 0, 100}));
}

}  // namespace
}  // namespace vh
