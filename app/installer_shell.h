// What the run modes need of the installer's windows: build them, switch the
// two buttons, and wait for the user. The windowed shell draws real windows;
// the terminal shell stands in for them on a text console.
#pragma once

#include <functional>
#include <string>

namespace vh {

class vPatcher;

class InstallerShell {
 public:
  virtual ~InstallerShell() = default;
  // Builds the windows (the backdrop too unless applyNow) and hands the two
  // progress bars to the patcher with setProgBar.
  virtual void build(bool applyNow, vPatcher& patcher) = 0;
  virtual void setButtons(bool installEnabled, bool aboutEnabled) = 0;
  // Waits for events until the installer window is closed and returns the
  // exit status; `install` runs for each accepted press of the install
  // button (the shell ignores presses while the button is disabled).
  virtual int runEventLoop(const std::function<void()>& install) = 0;
  // The one line that ends an installation or an uninstallation where the
  // shell has a place for it; the windows have none.
  virtual void summarize(const std::string&) {}
};

}  // namespace vh
