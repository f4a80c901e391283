// The installer's windows on Windows, made of Win32's own windows and
// common controls. Only the Windows build's files include this header.
//
// The layout table's pixels are those of a 96-dpi screen: the program is
// aware of each monitor's DPI (its manifest says so), so every place and
// size is scaled to the DPI of the monitor the window is on, and again when
// the installer window moves to a monitor of another DPI.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "app/gui/installer_windows.h"

namespace vh {

// An event as the loop sees it: its id, the window it came from, and its
// data (the mouse button for a press on the title panel: 1 left, 2 middle,
// 3 right).
struct WindowEvent {
  int id = 0;
  HWND source = nullptr;
  int data = 0;
};

// A length of the layout table at `dpi`, rounded to the nearest pixel.
int scaledForDpi(int pixels, int dpi);

class Win32InstallerWindows : public InstallerWindows {
 public:
  Win32InstallerWindows();
  ~Win32InstallerWindows() override;
  Win32InstallerWindows(const Win32InstallerWindows&) = delete;
  Win32InstallerWindows& operator=(const Win32InstallerWindows&) = delete;

  void build(bool applyNow, PixelMap map, PixelMap title) override;
  void show() override;
  void setBarPercent(GadgetIndex bar, int percent) override;
  void setButtons(bool installEnabled, bool aboutEnabled) override;
  int runEventLoop(const std::function<void()>& install) override;

  // Queues an event for the loop; the window procedures come through here.
  void post(const WindowEvent& event) { events_.push_back(event); }
  // Handles one event by the installer's event table; returns true when it
  // ends the loop (the installer window's close request).
  bool dispatch(const WindowEvent& event, const std::function<void()>& install);

  // What was built, for the tests.
  HWND backdrop() const { return backdrop_; }
  HWND mapPanel() const { return mapPanel_; }
  HWND installer() const { return installer_; }
  HWND gadget(GadgetIndex index) const { return gadgets_[index]; }
  const std::deque<WindowEvent>& pendingEvents() const { return events_; }
  int dpi() const { return dpi_; }

 private:
  // A picture as GDI draws it: 32 bits a pixel (blue, green, red, unused),
  // rows from the top.
  struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    bool empty() const { return pixels.empty(); }
    BITMAPINFO info() const;
  };
  static Picture pictureOf(const PixelMap& map);

  // The four window classes, registered once for the process.
  static void registerClasses();
  static LRESULT CALLBACK backdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK mapPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK installerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK titlePanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  void buildBackdrop();
  // At `place` of the layout table's pixels on a screen of `placeDpi`.
  void buildInstaller(WindowPlace place, int placeDpi, HWND owner);
  // Places and sizes every gadget and the installer window's client area
  // for `dpi`, with the captions' font made for it; the client area's
  // top-left corner goes to (clientX, clientY) on the screen.
  void layOut(int dpi, int clientX, int clientY);
  void paintMap(HDC dc);
  void paintTitle(HDC dc);
  void forgetScaledMap();

  Picture map_;
  Picture title_;
  HWND backdrop_ = nullptr;
  HWND mapPanel_ = nullptr;
  HWND installer_ = nullptr;
  std::vector<HWND> gadgets_;
  int dpi_ = USER_DEFAULT_SCREEN_DPI;
  HFONT font_ = nullptr;
  // The map scaled to the panel's last size, kept until the size changes.
  HBITMAP scaledMap_ = nullptr;
  SIZE scaledMapSize_{};
  std::deque<WindowEvent> events_;
};

// The font of the captions at `dpi`: the system's message font when it has
// a glyph for every caption of the layout table, or else the same size in
// the first face that has them all (the Chinese faces of Windows, then the
// face built into the program); the caller deletes it.
HFONT makeCaptionFont(int dpi);
// Whether `font` has a glyph for every character of `text`.
bool fontCovers(HFONT font, std::wstring_view text);
// Adds the face built into the program to the fonts of this process; false
// when the program holds none or GDI refuses it.
bool addBuiltInCaptionFace();

// Delivers one message taken from the thread's queue to its window; in the
// installer window the keyboard moves between the buttons as in a dialog.
void deliverWindowMessage(MSG& message);

}  // namespace vh
