// installer-watch.exe: looks at the windows another process shows (the
// installer of vhpatch.exe) from outside, as a player's eye would, so that
// a script can click through them with xdotool. It finds them by what the
// layout table says they show, never by the program's own window classes,
// and announces on standard output, one line each:
//   watch: install button at X Y          the installer is up: click it
//   watch: overall bar went through A B ... the values the bar was seen at
//   watch: message box TEXT ok at X Y     a box is up: screenshot, click OK
//   watch: bars overall N scene M         the two bars while that box is up
//   watch: buttons install on|off about on|off   the box is gone: whether
//                                         each button takes a click
//   watch: close box at X Y               then: close the installer
//   watch: installer closed               its window is gone
// Points are on Wine's (or Windows') screen. Ends with status 0 once the
// installer window is gone, 2 when that did not happen in time.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/installer_layout.h"
#include "common/wide_text_win32.h"

namespace vh {
namespace {

constexpr DWORD kPollMs = 10;

void announce(const std::string& what) {
  std::printf("watch: %s\n", what.c_str());
  std::fflush(stdout);
}

std::string at(POINT point) { return " at " + std::to_string(point.x) + " " + std::to_string(point.y); }

std::wstring className(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

std::string windowText(HWND window) {
  wchar_t text[1024] = L"";
  GetWindowTextW(window, text, 1024);
  return utf8Text(text);
}

POINT centreOnScreen(HWND window) {
  RECT face{};
  GetWindowRect(window, &face);
  return {(face.left + face.right) / 2, (face.top + face.bottom) / 2};
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM list) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::vector<HWND> visibleTopWindows() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND window, LPARAM list) {
        if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The installer window as a player sees it: a window titled as the table
// says, holding a push button with the install button's text and the two
// progress bars.
struct Installer {
  HWND window = nullptr;
  HWND installButton = nullptr;
  HWND aboutButton = nullptr;
  HWND overallBar = nullptr;
  HWND sceneBar = nullptr;
};

Installer findInstaller() {
  const std::wstring title = shownText(kInstallerTitle);
  const std::wstring installText = shownText(kInstallerGadgets[kInstallButton].text);
  const std::wstring aboutText = shownText(kInstallerGadgets[kAboutButton].text);
  for (HWND window : visibleTopWindows()) {
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, 256);
    if (title != text) continue;
    Installer found{window};
    std::vector<HWND> bars;
    for (HWND child : children(window)) {
      wchar_t childText[64] = L"";
      GetWindowTextW(child, childText, 64);
      if (className(child) == WC_BUTTONW && installText == childText) found.installButton = child;
      if (className(child) == WC_BUTTONW && aboutText == childText) found.aboutButton = child;
      if (className(child) == PROGRESS_CLASSW) bars.push_back(child);
    }
    if (!found.installButton || !found.aboutButton || bars.size() != 2) continue;
    // The table places the overall bar above the scene bar.
    static_assert(kInstallerGadgets[kOverallBar].y < kInstallerGadgets[kSceneBar].y);
    std::sort(bars.begin(), bars.end(), [](HWND a, HWND b) {
      RECT ra{}, rb{};
      GetWindowRect(a, &ra);
      GetWindowRect(b, &rb);
      return ra.top < rb.top;
    });
    found.overallBar = bars[0];
    found.sceneBar = bars[1];
    return found;
  }
  return {};
}

// A message box: the dialog class, its text in the static control 0xFFFF.
HWND findMessageBox() {
  for (HWND window : visibleTopWindows()) {
    if (className(window) == L"#32770" && GetDlgItem(window, 0xFFFF) && GetDlgItem(window, IDOK)) return window;
  }
  return nullptr;
}

int barPosition(HWND bar) { return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)); }

// The point of a window's close box, as the window itself tells it.
POINT closeBox(HWND window) {
  RECT outer{};
  GetWindowRect(window, &outer);
  POINT client{0, 0};
  ClientToScreen(window, &client);
  const int y = (outer.top + client.y) / 2;
  int right = -1;
  int left = -1;
  for (int x = outer.right - 1; x > outer.left; --x) {
    const bool onClose = SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE;
    if (onClose && right < 0) right = x;
    if (onClose) left = x;
    if (!onClose && right >= 0) break;
  }
  return {(left + right) / 2, y};
}

int run(DWORD timeoutMs) {
  const DWORD started = GetTickCount();
  const auto inTime = [&] { return GetTickCount() - started < timeoutMs; };

  Installer installer;
  while (inTime() && !(installer = findInstaller()).window) Sleep(kPollMs);
  if (!installer.window) {
    std::fprintf(stderr, "watch: no installer window came\n");
    return 2;
  }
  // Shown is not yet drawn: give the window its first paint.
  Sleep(300);
  announce("install button" + at(centreOnScreen(installer.installButton)));

  // The overall bar's values as they come, until a message box is up.
  std::vector<int> overall{barPosition(installer.overallBar)};
  HWND box = nullptr;
  while (inTime() && IsWindow(installer.window) && !(box = findMessageBox())) {
    const int now = barPosition(installer.overallBar);
    if (now != overall.back()) overall.push_back(now);
    Sleep(kPollMs);
  }
  std::string seen = "overall bar went through";
  for (int value : overall) seen += " " + std::to_string(value);
  announce(seen);
  if (!box) {
    std::fprintf(stderr, "watch: no message box came\n");
    return 2;
  }
  Sleep(300);
  announce("bars overall " + std::to_string(barPosition(installer.overallBar)) + " scene " +
           std::to_string(barPosition(installer.sceneBar)));
  announce("message box " + windowText(GetDlgItem(box, 0xFFFF)) + " ok" + at(centreOnScreen(GetDlgItem(box, IDOK))));

  while (inTime() && IsWindow(box) && IsWindowVisible(box)) Sleep(kPollMs);
  if (IsWindow(box) && IsWindowVisible(box)) {
    std::fprintf(stderr, "watch: the message box stayed\n");
    return 2;
  }
  Sleep(300);
  const auto onOff = [](HWND button) { return IsWindowEnabled(button) ? std::string("on") : std::string("off"); };
  announce("buttons install " + onOff(installer.installButton) + " about " + onOff(installer.aboutButton));
  announce("close box" + at(closeBox(installer.window)));
  while (inTime() && IsWindow(installer.window) && IsWindowVisible(installer.window)) Sleep(kPollMs);
  if (IsWindow(installer.window) && IsWindowVisible(installer.window)) {
    std::fprintf(stderr, "watch: the installer window stayed\n");
    return 2;
  }
  announce("installer closed");
  return 0;
}

}  // namespace
}  // namespace vh

// One argument: how many seconds to wait in all (60 without one).
int main(int argc, char** argv) {
  const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 60;
  return vh::run(static_cast<DWORD>(std::clamp(seconds, 1L, 600L)) * 1000);
}
