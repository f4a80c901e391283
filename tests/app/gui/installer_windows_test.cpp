// The installer's windows built in this process on the private display:
// what was built against the layout table, the bars, the event table and
// real clicks reaching the event queue.
// gtest comes before the X headers, whose macros clash with its names.
#include <gtest/gtest.h>

#include "app/gui/installer_windows_posix.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Progress.H>
#include <FL/x.H>
#include <X11/Xutil.h>
#include <fontconfig/fontconfig.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/embedded_files.h"
#include "app/gui/built_in_pictures.h"
#include "app/gui/cjk_font.h"
#include "app/pictures.h"
#include "app/v_patcher.h"
#include "tests/app/gui/x_display.h"
#include "tests/app/recording_desktop.h"
#include "tests/test_support.h"

namespace vh {
namespace {

// Lets the toolkit and the server settle: pending requests, expose events.
void settle(int milliseconds = 100) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < until) {
    Fl::check();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

class InstallerWindowsTest : public testing::Test {
 protected:
  void SetUp() override { registerBuiltInPictures(); }

  // The toolkit's windows behind a shell.
  static FltkInstallerWindows& fltk(const WindowedShell& shell) {
    return static_cast<FltkInstallerWindows&>(shell.windows());
  }

  // A gadget's place relative to its parent's client area.
  static Rect placeOf(const Fl_Widget& gadget) {
    const Fl_Widget* parent = gadget.parent();
    int left = 0, top = 0;
    if (parent && parent->type() < FL_WINDOW) {
      left = parent->x() + Fl::box_dx(parent->box());
      top = parent->y() + Fl::box_dy(parent->box());
    }
    return {gadget.x() - left, gadget.y() - top, gadget.w(), gadget.h()};
  }

  RecordingDesktop recorder;
  vPatcher patcher{recorder.services(), recorder};
};

TEST_F(InstallerWindowsTest, BuildsBothWindowsAndEveryGadgetOfTheTable) {
  WindowedShell shell;
  FltkInstallerWindows& windows = fltk(shell);
  shell.build(false, patcher);
  settle();

  // The backdrop: borderless, over the whole work area, anchored panel.
  Fl_Double_Window& backdrop = *windows.backdrop();
  int sx = 0, sy = 0, sw = 0, sh = 0;
  Fl::screen_work_area(sx, sy, sw, sh);
  EXPECT_FALSE(backdrop.border());
  EXPECT_EQ(Rect(backdrop.x(), backdrop.y(), backdrop.w(), backdrop.h()), Rect(sx, sy, sw, sh));
  ASSERT_EQ(backdrop.children(), 1);
  EXPECT_EQ(backdrop.resizable(), backdrop.child(0));
  EXPECT_EQ(backdrop.child(0)->color(), FL_BLACK);

  // The installer window: a client area of 323 x 292 at a tenth of the
  // backdrop's width, 350 above its bottom, fixed in size.
  Fl_Double_Window& installer = *windows.installer();
  EXPECT_EQ(Rect(installer.x(), installer.y(), installer.w(), installer.h()), Rect(sw / 10, sh - 350, 323, 292));
  EXPECT_TRUE(installer.border());
  EXPECT_STREQ(installer.label(), "瓦恩霍洛 简体中文补丁**测试版**");
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(fl_display, fl_xid(&installer), &hints, &supplied));
  EXPECT_EQ(hints.min_width, 323);
  EXPECT_EQ(hints.max_width, 323);
  EXPECT_EQ(hints.min_height, 292);
  EXPECT_EQ(hints.max_height, 292);
  // Owned by the backdrop, so that it stays in front of it.
  Window owner = 0;
  ASSERT_TRUE(XGetTransientForHint(fl_display, fl_xid(&installer), &owner));
  EXPECT_EQ(owner, fl_xid(&backdrop));

  // Every gadget where the window's layout puts it, relative to its
  // parent's client area; the numbers are written out here rather than
  // taken from the table the window is built from.
  struct Expected {
    GadgetIndex index;
    bool onTitlePanel;
    Rect place;
    const char* text;  // null for the panel and the bars
  };
  const Expected expected[] = {
      {kTitlePanel, false, {5, 8, 313, 208}, nullptr},
      {kInstallButton, true, {4, 3, 82, 23}, "开始安装"},
      {kAboutButton, true, {4, 31, 82, 22}, "关于"},
      {kSceneLabel, false, {6, 256, 308, 16}, "当前场景进度"},
      {kOverallLabel, false, {6, 224, 316, 16}, "总进度"},
      {kSceneBar, false, {5, 273, 314, 13}, nullptr},
      {kOverallBar, false, {5, 240, 314, 13}, nullptr},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.index);
    const Fl_Widget* gadget = windows.gadget(e.index);
    ASSERT_NE(gadget, nullptr);
    EXPECT_EQ(placeOf(*gadget), e.place);
    EXPECT_EQ(gadget->parent(), e.onTitlePanel ? windows.gadget(kTitlePanel) : static_cast<Fl_Widget*>(&installer));
    if (e.text) {
      EXPECT_STREQ(gadget->label(), e.text);
      EXPECT_TRUE(gadget->active());
    }
  }
  // The gadgets were made in the window's order: panel, buttons, labels, bars.
  EXPECT_EQ(installer.find(windows.gadget(kTitlePanel)), 0);
  EXPECT_LT(installer.find(windows.gadget(kSceneLabel)), installer.find(windows.gadget(kOverallLabel)));
  EXPECT_LT(installer.find(windows.gadget(kOverallLabel)), installer.find(windows.gadget(kSceneBar)));
  EXPECT_LT(installer.find(windows.gadget(kSceneBar)), installer.find(windows.gadget(kOverallBar)));
  for (GadgetIndex bar : {kSceneBar, kOverallBar}) {
    const auto* progress = dynamic_cast<const Fl_Progress*>(windows.gadget(bar));
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_STREQ(progress->label(), "0%");
  }
  EXPECT_EQ(windows.gadget(kTitlePanel)->labeltype(), FL_NO_LABEL);
  EXPECT_EQ(windows.gadget(kTitlePanel)->box(), FL_DOWN_BOX);

  // The bars handed to the patcher are the scene bar, then the overall bar,
  // and show whole percent cut toward zero.
  ASSERT_NE(patcher.prog_sub_g, nullptr);
  ASSERT_NE(patcher.prog_overall_g, nullptr);
  patcher.prog_sub_g->setFraction(0.999);
  patcher.prog_overall_g->setFraction(3.0 / 8);
  const auto* sceneBar = dynamic_cast<Fl_Progress*>(windows.gadget(kSceneBar));
  const auto* overallBar = dynamic_cast<Fl_Progress*>(windows.gadget(kOverallBar));
  EXPECT_EQ(sceneBar->value(), 99);
  EXPECT_STREQ(sceneBar->label(), "99%");
  EXPECT_EQ(overallBar->value(), 37);
  EXPECT_STREQ(overallBar->label(), "37%");

  // Under the map panel: black bands left and right, the map in between.
  settle();
  test::XDriver x;
  EXPECT_EQ(x.pixel(fl_xid(&backdrop), 2, sh / 2), 0x000000u);
  EXPECT_NE(x.pixel(fl_xid(&backdrop), sw / 2, sh / 2), 0x000000u);

  const std::string shots = std::string(VH_BINARY_DIR) + "/screenshots";
  std::filesystem::create_directories(shots);
  EXPECT_TRUE(test::saveScreenshot(shots + "/installer-in-process.png"));
}

// The program under test is found on the server by its title, so windows a
// test built in this process must be gone from the server with the shell.
TEST_F(InstallerWindowsTest, AShellThatIsGoneLeavesNoWindowOnTheServer) {
  const std::string title = "瓦恩霍洛 简体中文补丁**测试版**";
  test::XDriver x;
  {
    WindowedShell shell;
    shell.build(false, patcher);
    settle();
    EXPECT_EQ(x.windowsTitled(title).size(), 2u);
  }
  EXPECT_TRUE(x.windowsTitled(title).empty());
}

TEST_F(InstallerWindowsTest, MakeAndApplyHasNoBackdropAndAFixedPlace) {
  WindowedShell shell;
  FltkInstallerWindows& windows = fltk(shell);
  shell.build(true, patcher);
  settle();
  EXPECT_EQ(windows.backdrop(), nullptr);
  EXPECT_EQ(Rect(windows.installer()->x(), windows.installer()->y(), windows.installer()->w(), windows.installer()->h()),
            Rect(400, 300, 323, 292));
  Window owner = 0;
  EXPECT_FALSE(XGetTransientForHint(fl_display, fl_xid(windows.installer()), &owner) && owner != 0);
  shell.setButtons(false, false);
  EXPECT_FALSE(windows.gadget(kInstallButton)->active());
  EXPECT_FALSE(windows.gadget(kAboutButton)->active());
}

TEST_F(InstallerWindowsTest, TheBackdropRefitsTheMapWhenItsSizeChanges) {
  WindowedShell shell;
  FltkInstallerWindows& windows = fltk(shell);
  shell.build(false, patcher);
  Fl_Double_Window& backdrop = *windows.backdrop();
  // Wider than the map's proportions: black bands left and right.
  backdrop.resize(0, 0, 600, 200);
  settle();
  test::XDriver x;
  EXPECT_EQ(backdrop.child(0)->w(), 600);
  EXPECT_EQ(backdrop.child(0)->h(), 200);
  const Rect fitted = fitCentred(1000, 1415, 600, 200);
  EXPECT_EQ(x.pixel(fl_xid(&backdrop), fitted.x - 3, 100), 0x000000u);
  EXPECT_EQ(x.pixel(fl_xid(&backdrop), fitted.x + fitted.width + 2, 100), 0x000000u);
  EXPECT_NE(x.pixel(fl_xid(&backdrop), 300, 100), 0x000000u);
}

TEST_F(InstallerWindowsTest, TheEventTableRunsOneInstallAndEndsOnTheInstallerClose) {
  WindowedShell shell;
  FltkInstallerWindows& windows = fltk(shell);
  shell.build(false, patcher);
  settle();
  int installs = 0;
  const auto install = [&] {
    ++installs;
    shell.setButtons(false, false);
    shell.setButtons(false, true);
  };
  // Ignored: About, a press on the title panel, a close request of the
  // backdrop, an unknown id from the install button.
  EXPECT_FALSE(windows.dispatch({kEventGadgetUp, windows.gadget(kAboutButton), 0}, install));
  EXPECT_FALSE(windows.dispatch({kEventMouseButton, windows.gadget(kTitlePanel), 1}, install));
  EXPECT_FALSE(windows.dispatch({kEventCloseWindow, windows.backdrop(), 0}, install));
  EXPECT_FALSE(windows.dispatch({kEventMouseButton, windows.gadget(kInstallButton), 1}, install));
  EXPECT_EQ(installs, 0);
  EXPECT_TRUE(windows.backdrop()->shown());

  // Two presses queued before the first is handled install once; the close
  // request queued behind them ends the loop after the installation.
  windows.post({kEventGadgetUp, windows.gadget(kInstallButton), 0});
  windows.post({kEventGadgetUp, windows.gadget(kInstallButton), 0});
  windows.post({kEventCloseWindow, windows.installer(), 0});
  EXPECT_EQ(shell.runEventLoop(install), 0);
  EXPECT_EQ(installs, 1);
  EXPECT_FALSE(windows.installer()->shown());
  EXPECT_FALSE(windows.gadget(kInstallButton)->active());
  EXPECT_TRUE(windows.gadget(kAboutButton)->active());
}

TEST_F(InstallerWindowsTest, RealClicksReachTheQueueAndEscapeIsNoCloseRequest) {
  WindowedShell shell;
  FltkInstallerWindows& windows = fltk(shell);
  shell.build(false, patcher);
  settle(200);
  test::XDriver x;
  const Fl_Double_Window& installer = *windows.installer();
  const Fl_Widget& button = *windows.gadget(kInstallButton);
  x.click(installer.x() + button.x() + button.w() / 2, installer.y() + button.y() + button.h() / 2);
  settle(200);
  // The title panel away from its buttons.
  x.click(installer.x() + 200, installer.y() + 150);
  settle(200);
  test::runCommand("xdotool key Escape");
  settle(200);
  x.requestClose(fl_xid(windows.backdrop()));
  settle(200);
  ASSERT_EQ(windows.pendingEvents(), 3u);
  int installs = 0;
  windows.post({kEventCloseWindow, windows.installer(), 0});
  EXPECT_EQ(shell.runEventLoop([&] { ++installs; }), 0);
  EXPECT_EQ(installs, 1);
}

TEST(CaptionFont, AnInstalledFaceCoversEveryCaptionAndBecomesTheNormalFace) {
  std::string captions = kInstallerTitle;
  for (const auto& gadget : kInstallerGadgets) captions += gadget.text;
  const std::string family = findFontCovering(captions);
  ASSERT_FALSE(family.empty()) << "no installed font covers the captions";
  EXPECT_EQ(std::string(Fl::get_font(FL_HELVETICA)), " " + family);
  // A character no font here has is not covered.
  EXPECT_EQ(findFontCovering("\xF0\x9F\x82\xA1\xF3\xA0\x80\x80"), "");
}

TEST(CaptionFont, TheBuiltInFaceHoldsEveryCaptionAndWhatMessagesSpell) {
  ASSERT_TRUE(addBuiltInCaptionFace());
  const FcFontSet* added = FcConfigGetFonts(nullptr, FcSetApplication);
  ASSERT_TRUE(added && added->nfont >= 1);
  FcCharSet* charset = nullptr;
  ASSERT_EQ(FcPatternGetCharSet(added->fonts[added->nfont - 1], FC_CHARSET, 0, &charset), FcResultMatch);
  // The captions, and the letters, digits and signs of the message boxes
  // and the bars, which the same face draws.
  std::string text = std::string(kInstallerTitle) + "Done! 100% failed to write:/~_-.()[]éü";
  for (const auto& gadget : kInstallerGadgets) text += gadget.text;
  const auto* at = reinterpret_cast<const FcChar8*>(text.data());
  int left = static_cast<int>(text.size());
  while (left > 0) {
    FcChar32 point = 0;
    const int used = FcUtf8ToUcs4(at, &point, left);
    ASSERT_GT(used, 0);
    EXPECT_TRUE(FcCharSetHasChar(charset, point)) << "U+" << std::hex << point;
    at += used;
    left -= used;
  }
  // Nothing beyond: a character of no caption is not in it.
  EXPECT_FALSE(FcCharSetHasChar(charset, 0x6C34));  // 水
}

TEST(BuiltInPictures, AreTheAssetsUnderTheirNames) {
  registerBuiltInPictures();
  const auto map = findEmbeddedFile("incbin::map.jpg");
  const auto title = findEmbeddedFile("incbin::title.bmp");
  ASSERT_TRUE(map && title);
  EXPECT_EQ(std::string(*map), test::readFile(std::string(VH_SOURCE_DIR) + "/assets/map.jpg"));
  EXPECT_EQ(std::string(*title), test::readFile(std::string(VH_SOURCE_DIR) + "/assets/title.bmp"));
}

}  // namespace
}  // namespace vh
