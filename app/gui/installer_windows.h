// The installer's windows: the borderless backdrop showing the map, and the
// small installer window in front of it with the title picture, the install
// and About buttons and the two progress bars.
//
// WindowedShell is the same on every platform: it loads the two pictures,
// keeps the order of building (windows, then the bars handed to the
// patcher, then shown) and turns the patcher's fractions into whole
// percent. The windows themselves are the platform's InstallerWindows:
// the window toolkit's on Linux (installer_windows_posix.*), Win32's on
// Windows (installer_windows_win32.*). Window events are queued and handled
// one at a time by the event loop, so that events raised while an
// installation pumps messages wait until it has returned.
#pragma once

#include <functional>
#include <memory>

#include "app/installer_layout.h"
#include "app/installer_shell.h"
#include "common/pixel_map.h"

namespace vh {

class InstallerWindows {
 public:
  virtual ~InstallerWindows() = default;
  // Builds the windows and their gadgets by the layout table, both bars at
  // 0, the installer window hidden: without applyNow the backdrop too, with
  // `map` on it (it is maximised, which shows it), and the installer window
  // placed in front of it; with applyNow the installer window alone, at its
  // fixed place. An empty picture leaves its panel plain.
  virtual void build(bool applyNow, PixelMap map, PixelMap title) = 0;
  // Shows the windows built, the backdrop first.
  virtual void show() = 0;
  // Sets kSceneBar or kOverallBar to a whole percent from 0 to 100.
  virtual void setBarPercent(GadgetIndex bar, int percent) = 0;
  virtual void setButtons(bool installEnabled, bool aboutEnabled) = 0;
  // Waits for events until the installer window is closed and returns the
  // exit status; `install` runs for each press of the install button that
  // finds it enabled when its turn comes.
  virtual int runEventLoop(const std::function<void()>& install) = 0;
};

// The platform's windows, not built yet.
std::unique_ptr<InstallerWindows> makeInstallerWindows();

class WindowedShell : public InstallerShell {
 public:
  WindowedShell();
  explicit WindowedShell(std::unique_ptr<InstallerWindows> windows);
  ~WindowedShell() override;

  void build(bool applyNow, vPatcher& patcher) override;
  void setButtons(bool installEnabled, bool aboutEnabled) override;
  int runEventLoop(const std::function<void()>& install) override;

  // The platform's windows behind the shell, for the tests.
  InstallerWindows& windows() const { return *windows_; }

 private:
  class Bar;

  std::unique_ptr<InstallerWindows> windows_;
  std::unique_ptr<Bar> sceneBar_;
  std::unique_ptr<Bar> overallBar_;
};

}  // namespace vh
