// The desktop when a display is at hand: message boxes and the folder
// chooser are windows, the message pump and the pause keep the installer
// painted during long work.
#pragma once

#include <string>

#include "app/desktop.h"

namespace vh {

class WindowedDesktop : public Desktop {
 public:
  // Debug lines go to standard error only with `debug`.
  explicit WindowedDesktop(bool debug);

  // Readies the window system for the program's windows. False when there
  // is none to show them on: the terminal serves instead.
  static bool openDisplay();

  void messageBox(const std::string& text) override;
  std::string chooseFolder(const std::string& prompt, const std::string& initialFolder) override;
  void printLine(const std::string& text) override;
  void debugLog(const std::string& text) override;
  void pumpMessages() override;
  bool showsWindows() const override { return true; }

 private:
  bool debug_;
};

// The window system's services behind that desktop, one implementation per
// platform: the window toolkit's on Linux (windowed_desktop_posix.cpp),
// Win32's on Windows (windowed_desktop_win32.cpp). Text is UTF-8.

// On Linux: opens the display and picks a font for the captions.
bool openWindowSystem();
// Modal, an information icon and one OK button, owned by the program's
// active window and kept in front; returns once dismissed.
void showMessageBox(const std::string& text);
// The chosen folder, "" when the user cancels.
std::string showFolderChooser(const std::string& prompt, const std::string& initialFolder);
// Processes every pending window-system message without waiting.
void pumpWindowMessages();

}  // namespace vh
