// The desktop and process services every subsystem reports through: message
// box, folder chooser, standard output, debug log, pause and message pump,
// fatal error and end of process. The message box and debug log are the
// Reporter of common/report.h, and fatal errors and orderly ends are raised
// there, so that the layers below the application need not know a desktop.
//
// The library never talks to a window system or ends the process itself. It
// calls the Desktop the program's main hands down (as the Reporter and the
// InstallerHost of its Services), and it raises fatal errors and orderly
// ends as exceptions that the program's entry turns into an exit status, so
// that tests can watch both and temporary files are cleaned up on the way
// out.
#pragma once

#include <cstddef>
#include <string>

#include "common/report.h"
#include "install/installer_host.h"

namespace vh {

// Progress shown while an installation runs: each bar a fraction 0..1, and
// the scene at hand with its place among the package's scenes (number 0
// before the first scene).
struct Progress {
  double scene = 0;
  double overall = 0;
  std::string sceneName;
  size_t sceneNumber = 0;
  size_t sceneCount = 0;
};

// Whole percent of a fraction, cut toward zero, as every progress display
// shows it; 0 for anything not a number.
int wholePercent(double fraction);

// The desktop is also the reporter of every layer below the application and
// the installer's host: main hands it down as both.
class Desktop : public Reporter, public InstallerHost {
 public:
  virtual ~Desktop() = default;

  // Modal, one OK button; returns only when dismissed.
  void messageBox(const std::string& text) override = 0;
  // The chosen folder, possibly with backslashes or a trailing separator;
  // "" when the user cancels.
  std::string chooseFolder(const std::string& prompt, const std::string& initialFolder) override = 0;
  // One line on standard output, flushed at once.
  void printLine(const std::string& text) override = 0;
  // One line on standard error, flushed at once: for the few reports that
  // must reach a script or a terminal without a window to dismiss.
  void printErrorLine(const std::string& text) override;
  // Diagnostic only; may be discarded.
  void debugLog(const std::string& text) override = 0;
  // Sleeps at least `milliseconds`.
  virtual void pause(int milliseconds);
  // True when the program's windows are on screen, so that long work must
  // give them time to repaint; a terminal has nothing to repaint.
  virtual bool showsWindows() const { return false; }
  // Processes pending window-system messages without waiting.
  virtual void pumpMessages() {}
  // Shows installation progress where the desktop has a place for it.
  virtual void showProgress(const Progress&) {}
};

}  // namespace vh
