// The desktop when a display is at hand: message boxes and the folder
// chooser are windows, the message pump and the pause keep the installer
// painted during long work.
#pragma once

#include <string>

#include "app/desktop.h"

class Fl_Window;

namespace vh {

class WindowedDesktop : public Desktop {
 public:
  // Debug lines go to standard error only with `debug`.
  explicit WindowedDesktop(bool debug);

  // Opens the display for the toolkit and picks a font for the captions.
  // False when no display can be opened: the terminal serves instead.
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

// Gives a shown window its title as UTF-8 (_NET_WM_NAME) too, since the
// toolkit writes only the old byte-string name, which window managers and
// tools show or match as Latin-1.
void setUtf8Title(Fl_Window& window, const char* utf8Title);

}  // namespace vh
