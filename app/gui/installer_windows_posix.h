// The installer's windows on Linux, drawn by the window toolkit. Only the
// Linux build's files include this header.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "app/gui/installer_windows.h"
#include "common/pixel_map.h"

class Fl_Double_Window;
class Fl_Progress;
class Fl_Widget;
class Fl_Window;

namespace vh {

// An event as the loop sees it: its id, the gadget or window it came from,
// and its data (the mouse button for a press on the title panel).
struct WindowEvent {
  int id = 0;
  Fl_Widget* source = nullptr;
  int data = 0;
};

class FltkInstallerWindows : public InstallerWindows {
 public:
  FltkInstallerWindows();
  ~FltkInstallerWindows() override;

  void build(bool applyNow, PixelMap map, PixelMap title) override;
  void show() override;
  void setBarPercent(GadgetIndex bar, int percent) override;
  void setButtons(bool installEnabled, bool aboutEnabled) override;
  int runEventLoop(const std::function<void()>& install) override;

  // Queues an event for the loop; the windows' callbacks come through here.
  void post(const WindowEvent& event) { events_.push_back(event); }
  // Handles one event by the installer's event table; returns true when it
  // ends the loop (the installer window's close request).
  bool dispatch(const WindowEvent& event, const std::function<void()>& install);

  // What was built, for the tests.
  Fl_Double_Window* backdrop() const { return backdrop_.get(); }
  Fl_Double_Window* installer() const { return installer_.get(); }
  Fl_Widget* gadget(GadgetIndex index) const { return gadgets_[index]; }
  size_t pendingEvents() const { return events_.size(); }

 private:
  void buildBackdrop();
  void buildInstaller(WindowPlace place);

  PixelMap map_;
  PixelMap title_;
  std::unique_ptr<Fl_Double_Window> backdrop_;
  std::unique_ptr<Fl_Double_Window> installer_;
  std::vector<Fl_Widget*> gadgets_;
  std::deque<WindowEvent> events_;
};

// Gives a shown window its title as UTF-8 (_NET_WM_NAME) too, since the
// toolkit writes only the old byte-string name, which window managers and
// tools show or match as Latin-1.
void setUtf8Title(Fl_Window& window, const char* utf8Title);

}  // namespace vh
