// The installer's windows: the borderless backdrop showing the map, and the
// small installer window in front of it with the title picture, the install
// and About buttons and the two progress bars. Window events are queued and
// handled one at a time by the event loop, so that events raised while an
// installation pumps messages wait until it has returned.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "app/installer_layout.h"
#include "app/installer_shell.h"
#include "app/v_patcher.h"
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

class WindowedShell : public InstallerShell {
 public:
  WindowedShell();
  ~WindowedShell() override;

  void build(bool applyNow, vPatcher& patcher) override;
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
  class Bar;

  void buildBackdrop(Reporter& report);
  void buildInstaller(WindowPlace place, Reporter& report);

  PixelMap map_;
  PixelMap title_;
  std::unique_ptr<Fl_Double_Window> backdrop_;
  std::unique_ptr<Fl_Double_Window> installer_;
  std::vector<Fl_Widget*> gadgets_;
  std::vector<std::unique_ptr<Bar>> bars_;
  std::deque<WindowEvent> events_;
};

}  // namespace vh
