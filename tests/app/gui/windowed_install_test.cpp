// The real vhpatch with its windows on the private display: found by its
// title, driven by clicks and close requests as a player would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "tests/app/gui/x_display.h"
#include "tests/app/installation.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::Installation;
using test::TempDir;
using test::TopWindow;

// The installer window as the player sees it, written out here rather than
// taken from the table the window is built from: its title, its client
// area, and the places of the gadgets the tests click or read, relative to
// their parent's client area.
constexpr const char* kTitle = "瓦恩霍洛 简体中文补丁**测试版**";
constexpr int kWidth = 323;
constexpr int kHeight = 292;
struct Place {
  int x, y, width, height;
};
constexpr Place kTitlePanel{5, 8, 313, 208};
constexpr Place kInstallButton{4, 3, 82, 23};  // on the title panel
constexpr Place kAboutButton{4, 31, 82, 22};   // on the title panel
constexpr Place kSceneBar{5, 273, 314, 13};
constexpr Place kOverallBar{5, 240, 314, 13};

std::string screenshots() {
  const std::string folder = std::string(VH_BINARY_DIR) + "/screenshots";
  std::filesystem::create_directories(folder);
  return folder;
}

// vhpatch started in the background with the windows allowed and the debug
// log on, its output in files.
class RunningInstaller {
 public:
  RunningInstaller(const Installation& setup, const std::string& args = "") {
    const std::string program = setup.program + "/vhpatch";
    const std::string out = logs / "out";
    const std::string err = logs / "err";
    test::writeFile(out, "");
    test::writeFile(err, "");
    pid_ = fork();
    if (pid_ == 0) {
      // Started from elsewhere, as a player would; the windows allowed. It
      // ends with the test process, whichever way that ends.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (chdir("/") != 0) _exit(126);
      setenv("WINEPREFIX", setup.prefix.c_str(), 1);
      setenv("VHPATCH_DEBUG", "1", 1);
      unsetenv("VHPATCH_UI");
      if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(126);
      if (args.empty()) {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      } else {
        execl(program.c_str(), program.c_str(), args.c_str(), static_cast<char*>(nullptr));
      }
      _exit(127);
    }
  }

  ~RunningInstaller() {
    if (pid_ > 0 && !finished_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // The exit status once the process has ended within `seconds`; -2 while it
  // still runs.
  int waitForExit(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        finished_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < until);
    return -2;
  }

  std::string err() const { return test::readFile(logs / "err"); }
  std::string out() const { return test::readFile(logs / "out"); }

 private:
  TempDir logs;
  pid_t pid_ = -1;
  bool finished_ = false;
};

struct Windows {
  TopWindow backdrop;
  TopWindow installer;
};

// Both windows share the title; the installer is the one of its size.
// A sanitizer build on a busy machine can take a minute to show them: the
// wait ends when both are up or the program has ended, and only a hang runs
// into the limit.
Windows findWindows(test::XDriver& x, RunningInstaller& running) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  std::vector<TopWindow> shown;
  do {
    shown = x.windowsTitled(kTitle);
    if (shown.size() >= 2 || running.waitForExit(0) != -2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < until);
  Windows found;
  for (const TopWindow& w : shown) {
    if (w.width == kWidth && w.height == kHeight) {
      found.installer = w;
    } else {
      found.backdrop = w;
    }
  }
  return found;
}

// A message box: a window under the title that is neither the backdrop nor
// the installer. Clicks its OK button (bottom right) and waits for it to go.
bool dismissMessageBox(test::XDriver& x, const std::string& shot = "") {
  const auto isBox = [](const TopWindow& w) {
    return !(w.width == kWidth && w.height == kHeight) && !(w.x == 0 && w.y == 0);
  };
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  std::vector<TopWindow> shown;
  while (std::chrono::steady_clock::now() < until) {
    shown = x.windowsTitled(kTitle);
    if (std::any_of(shown.begin(), shown.end(), isBox)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (const TopWindow& w : shown) {
    if (!isBox(w)) continue;
    if (!shot.empty()) test::saveScreenshot(shot);
    x.click(w.x + w.width - 20, w.y + w.height - 20);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
      bool still = false;
      for (const TopWindow& now : x.windowsTitled(kTitle)) still = still || now.id == w.id;
      if (!still) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  return false;
}

void clickButton(test::XDriver& x, const TopWindow& installer, const Place& button) {
  // The buttons sit in the title panel's client area, inside its border.
  constexpr int kBorder = 2;
  x.click(installer.x + kTitlePanel.x + kBorder + button.x + button.width / 2,
          installer.y + kTitlePanel.y + kBorder + button.y + button.height / 2);
}

// The share of a progress bar that is filled, read from the screen.
double barShare(test::XDriver& x, const TopWindow& installer, const Place& bar) {
  return x.greenShare(installer.id, bar.y + bar.height / 2, bar.x + 3, bar.x + bar.width - 3);
}

class WindowedInstall : public testing::Test {
 protected:
  // Packs the working tree into patch.dat, starts vhpatch and finds its
  // two windows.
  void start(const Installation& setup) {
    ASSERT_EQ(setup.vhpatch("make").status, 0);
    running = std::make_unique<RunningInstaller>(setup);
    windows = findWindows(x, *running);
    ASSERT_NE(windows.installer.id, 0u) << running->err();
    ASSERT_NE(windows.backdrop.id, 0u);
  }

  test::XDriver x;
  std::unique_ptr<RunningInstaller> running;
  Windows windows;
};

TEST_F(WindowedInstall, TheInstallButtonInstallsAndTheCloseBoxEnds) {
  Installation setup;
  ASSERT_NO_FATAL_FAILURE(start(setup));
  const Screen* screen = DefaultScreenOfDisplay(x.display());
  EXPECT_EQ(windows.backdrop.width, WidthOfScreen(screen));
  EXPECT_EQ(windows.backdrop.height, HeightOfScreen(screen));
  EXPECT_EQ(windows.installer.x, WidthOfScreen(screen) / 10);
  EXPECT_EQ(windows.installer.y, HeightOfScreen(screen) - 350);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(test::saveScreenshot(screenshots() + "/installer.png"));

  // About changes nothing.
  clickButton(x, windows.installer, kAboutButton);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(x.windowsTitled(kTitle).size(), 2u);

  clickButton(x, windows.installer, kInstallButton);
  ASSERT_TRUE(dismissMessageBox(x, screenshots() + "/done.png")) << running->err();
  EXPECT_NE(running->err().find("message box: Done!"), std::string::npos) << running->err();
  // Done: the overall bar full, the scene bar back at 0.
  EXPECT_GT(barShare(x, windows.installer, kOverallBar), 0.6);
  EXPECT_LT(barShare(x, windows.installer, kSceneBar), 0.05);

  EXPECT_EQ(running->waitForExit(0.3), -2) << "the process ended before its window was closed";
  x.requestClose(windows.installer.id);
  EXPECT_EQ(running->waitForExit(10), 0) << running->err();
  test::expectPatched(setup);
}

TEST_F(WindowedInstall, ClosingWithoutInstallingChangesNothing) {
  Installation setup;
  ASSERT_NO_FATAL_FAILURE(start(setup));
  // The backdrop's close request is ignored.
  x.requestClose(windows.backdrop.id);
  EXPECT_EQ(running->waitForExit(0.5), -2);
  x.requestClose(windows.installer.id);
  EXPECT_EQ(running->waitForExit(10), 0) << running->err();
  for (const std::string& archive : setup.archives()) {
    EXPECT_EQ(test::readFile(setup.game + "/" + archive), test::readFile(setup.original + "/" + archive)) << archive;
  }
}

TEST_F(WindowedInstall, TheBarsMoveDuringALongInstallAndACloseWaitsForItsEnd) {
  // Enough sub-scenes and records that the installation takes a while.
  Installation setup("", 5, "--scenes 24 --subs 4 --records 6000");
  ASSERT_NO_FATAL_FAILURE(start(setup));
  clickButton(x, windows.installer, kInstallButton);

  // The window repaints between sub-scenes: the overall bar is seen part
  // filled while the installation runs.
  double share = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  while (std::chrono::steady_clock::now() < until) {
    share = barShare(x, windows.installer, kOverallBar);
    if (share > 0.05) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_GT(share, 0.05);
  ASSERT_LT(share, 0.6) << "the installation was over before its progress could be seen";
  test::saveScreenshot(screenshots() + "/installing.png");

  // A close request now waits until the installation has returned: "Done!"
  // still comes, and the process ends after it without another request.
  x.requestClose(windows.installer.id);
  ASSERT_TRUE(dismissMessageBox(x)) << running->err();
  EXPECT_NE(running->err().find("message box: Done!"), std::string::npos) << running->err();
  EXPECT_EQ(running->waitForExit(10), 0) << running->err();
  test::expectPatched(setup);
}

TEST_F(WindowedInstall, MakeAndApplyShowsOnlyTheInstallerAndEnds) {
  Installation setup;
  running = std::make_unique<RunningInstaller>(setup, "makeandapply");
  // The only box is "data written"; the installer window stands alone at
  // its fixed place.
  std::vector<TopWindow> shown = x.waitForWindows(kTitle, 2, 60);
  ASSERT_EQ(shown.size(), 2u) << running->err();
  bool installerAt400 = false;
  for (const TopWindow& w : shown) {
    installerAt400 = installerAt400 || (w.width == kWidth && w.x == 400 && w.y == 300);
  }
  EXPECT_TRUE(installerAt400);
  for (const TopWindow& w : shown) {
    if (w.width != kWidth || w.height != kHeight) x.click(w.x + w.width - 20, w.y + w.height - 20);
  }
  EXPECT_EQ(running->waitForExit(10), 0) << running->err();
  EXPECT_NE(running->err().find("message box: data written"), std::string::npos) << running->err();
  test::expectPatched(setup);
}

TEST_F(WindowedInstall, WithoutARegistryKeyTheFolderChooserAsksAndCancellingStops) {
  Installation setup;
  test::writeFile(setup.prefix + "/user.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1\n\n");
  ASSERT_NO_FATAL_FAILURE(start(setup));
  clickButton(x, windows.installer, kInstallButton);
  ASSERT_TRUE(dismissMessageBox(x)) << running->err();
  EXPECT_NE(running->err().find("message box: Cannot find VHW info in registry. Please specify install path."),
            std::string::npos)
      << running->err();

  // The chooser comes under its prompt; closing it is a cancel.
  const std::vector<TopWindow> chooser = x.waitForWindows("Please specify your VHW installation", 1, 20);
  ASSERT_EQ(chooser.size(), 1u) << running->err();
  test::saveScreenshot(screenshots() + "/folder-chooser.png");
  x.requestClose(chooser[0].id);
  ASSERT_TRUE(dismissMessageBox(x)) << running->err();
  EXPECT_NE(running->err().find("message box: Cannot find Varnhollow installation."), std::string::npos)
      << running->err();
  EXPECT_EQ(running->err().find("Done!"), std::string::npos);

  // The window stayed after the failure; closing it ends with its status.
  x.requestClose(windows.installer.id);
  EXPECT_EQ(running->waitForExit(10), 1) << running->err();
  for (const std::string& archive : setup.archives()) {
    EXPECT_EQ(test::readFile(setup.game + "/" + archive), test::readFile(setup.original + "/" + archive)) << archive;
  }
}

// The install button as the screen shows it, caption and all.
std::vector<unsigned long> installButtonPixels(test::XDriver& x, const TopWindow& installer) {
  constexpr int kBorder = 2;
  return x.pixels(installer.id, kTitlePanel.x + kBorder + kInstallButton.x, kTitlePanel.y + kBorder + kInstallButton.y,
                  kInstallButton.width, kInstallButton.height);
}

TEST_F(WindowedInstall, WithoutAChineseFontTheCaptionsComeFromTheBuiltInFace) {
  // The captions as this desktop draws them with its installed Chinese face.
  Installation setup;
  ASSERT_NO_FATAL_FAILURE(start(setup));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::vector<unsigned long> installed = installButtonPixels(x, windows.installer);
  x.requestClose(windows.installer.id);
  ASSERT_EQ(running->waitForExit(10), 0) << running->err();

  // The same desktop with every face that covers Simplified Chinese hidden
  // from fontconfig; its rendering settings stay.
  TempDir fonts;
  test::writeFile(fonts / "fonts.conf",
                  "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n<fontconfig>\n"
                  "  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"
                  "  <selectfont><rejectfont><pattern><patelt name=\"lang\"><string>zh-cn</string></patelt>"
                  "</pattern></rejectfont></selectfont>\n</fontconfig>\n");
  struct HiddenFaces {
    explicit HiddenFaces(const std::string& config) { setenv("FONTCONFIG_FILE", config.c_str(), 1); }
    ~HiddenFaces() { unsetenv("FONTCONFIG_FILE"); }
  } hidden(fonts / "fonts.conf");
  const auto chineseFaces = test::runCommand("fc-list :lang=zh-cn family");
  ASSERT_NO_FATAL_FAILURE(start(setup));
  ASSERT_EQ(chineseFaces.status, 0);
  ASSERT_EQ(chineseFaces.out, "") << "the hidden faces are still offered";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::vector<unsigned long> builtIn = installButtonPixels(x, windows.installer);
  test::saveScreenshot(screenshots() + "/installer-without-chinese-font.png");
  x.requestClose(windows.installer.id);
  ASSERT_EQ(running->waitForExit(10), 0) << running->err();

  // The built-in face is cut from the face installed here: the captions are
  // drawn pixel for pixel alike, not as boxes.
  EXPECT_EQ(running->err().find("no installed font has the Chinese captions"), std::string::npos) << running->err();
  ASSERT_FALSE(installed.empty());
  EXPECT_GT(std::set<unsigned long>(installed.begin(), installed.end()).size(), 2u) << "no caption drawn";
  EXPECT_TRUE(builtIn == installed) << "the caption differs from the one the installed face draws";
}

TEST_F(WindowedInstall, AMissingPackageShowsItsBoxAndEndsWithoutAWindow) {
  Installation setup;
  running = std::make_unique<RunningInstaller>(setup);
  ASSERT_TRUE(dismissMessageBox(x)) << running->err();
  EXPECT_EQ(running->waitForExit(10), 255);
  EXPECT_EQ(running->out(), "error in reading patch:patch.dat\n");
  EXPECT_NE(running->err().find("message box: patch file not found"), std::string::npos) << running->err();
  EXPECT_TRUE(x.windowsTitled(kTitle).empty());
}

}  // namespace
}  // namespace vh
