// The window tests' own X server and the few things they do to it: list
// the top-level windows with their titles and places, send a close request
// as a window manager would, click, read pixels and save a screenshot.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace vh::test {

// A private Xvfb for the life of the object, its display number picked by
// the server itself so that parallel test runs never collide. DISPLAY is set
// to it.
class PrivateDisplay {
 public:
  PrivateDisplay(int width = 1280, int height = 1024);
  ~PrivateDisplay();
  PrivateDisplay(const PrivateDisplay&) = delete;
  PrivateDisplay& operator=(const PrivateDisplay&) = delete;
  const std::string& name() const { return name_; }

 private:
  int pid_ = -1;
  std::string name_;
};

struct TopWindow {
  Window id = 0;
  std::string title;  // _NET_WM_NAME, else WM_NAME, as bytes
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// A connection of the test's own, apart from the program under test.
class XDriver {
 public:
  XDriver();
  ~XDriver();
  XDriver(const XDriver&) = delete;
  XDriver& operator=(const XDriver&) = delete;

  // Mapped top-level windows whose title is `title`.
  std::vector<TopWindow> windowsTitled(const std::string& title);
  // Waits up to `seconds` for `count` such windows (or more); the ones found.
  std::vector<TopWindow> waitForWindows(const std::string& title, size_t count, double seconds = 10);
  // WM_DELETE_WINDOW, the request a window manager sends for the close box.
  void requestClose(Window window);
  // A left click at a point of the screen (xdotool, through XTEST).
  void click(int x, int y);
  // The colour (0xRRGGBB) of a point of a window.
  unsigned long pixel(Window window, int x, int y);
  // The colours of a rectangle of a window, row by row; empty if it could
  // not be read.
  std::vector<unsigned long> pixels(Window window, int x, int y, int width, int height);
  // The share of a row segment of a window whose pixels are mostly green.
  double greenShare(Window window, int y, int x0, int x1);
  Display* display() { return display_; }

 private:
  Display* display_;
};

// Saves the whole screen of $DISPLAY as a PNG; false if that failed.
bool saveScreenshot(const std::string& path);

}  // namespace vh::test
