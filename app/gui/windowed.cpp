// What the windowed program does alike on every platform: the shell's order
// of building and its two bars, and the desktop's lines. The windows and the
// window system's services are the platform's (installer_windows_*.cpp,
// windowed_desktop_*.cpp).
#include <cstdio>
#include <string>

#include "app/gui/installer_windows.h"
#include "app/gui/windowed_desktop.h"
#include "app/pictures.h"
#include "app/v_patcher.h"

namespace vh {

namespace {

PixelMap loadOrEmpty(Reporter& report, const char* locator) {
  try {
    return loadPicture(locator);
  } catch (const PictureError& e) {
    // A missing picture leaves its panel plain; the installer still works.
    report.debugLog(e.what());
    return {};
  }
}

}  // namespace

// A progress bar of the platform's windows, showing whole percent cut
// toward zero.
class WindowedShell::Bar : public ProgressBar {
 public:
  Bar(InstallerWindows& windows, GadgetIndex index) : windows_(windows), index_(index) {}
  void setFraction(double fraction) override { windows_.setBarPercent(index_, wholePercent(fraction)); }

 private:
  InstallerWindows& windows_;
  GadgetIndex index_;
};

WindowedShell::WindowedShell() : WindowedShell(makeInstallerWindows()) {}

WindowedShell::WindowedShell(std::unique_ptr<InstallerWindows> windows)
    : windows_(std::move(windows)),
      sceneBar_(std::make_unique<Bar>(*windows_, kSceneBar)),
      overallBar_(std::make_unique<Bar>(*windows_, kOverallBar)) {}

WindowedShell::~WindowedShell() = default;

void WindowedShell::build(bool applyNow, vPatcher& patcher) {
  // The map belongs to the backdrop, which building and installing at once
  // goes without.
  Reporter& report = patcher.services().report;
  PixelMap map = applyNow ? PixelMap() : loadOrEmpty(report, kMapPicture);
  windows_->build(applyNow, std::move(map), loadOrEmpty(report, kTitlePicture));
  patcher.setProgBar(sceneBar_.get(), overallBar_.get());
  windows_->show();
}

void WindowedShell::setButtons(bool installEnabled, bool aboutEnabled) {
  windows_->setButtons(installEnabled, aboutEnabled);
}

int WindowedShell::runEventLoop(const std::function<void()>& install) { return windows_->runEventLoop(install); }

WindowedDesktop::WindowedDesktop(bool debug) : debug_(debug) {}

bool WindowedDesktop::openDisplay() { return openWindowSystem(); }

void WindowedDesktop::messageBox(const std::string& text) {
  debugLog("message box: " + text);
  showMessageBox(text);
}

std::string WindowedDesktop::chooseFolder(const std::string& prompt, const std::string& initialFolder) {
  debugLog("folder chooser: " + prompt);
  return showFolderChooser(prompt, initialFolder);
}

void WindowedDesktop::printLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void WindowedDesktop::debugLog(const std::string& text) {
  if (!debug_) return;
  std::fprintf(stderr, "debug: %s\n", text.c_str());
  std::fflush(stderr);
}

void WindowedDesktop::pumpMessages() { pumpWindowMessages(); }

}  // namespace vh
