// vhpatch-windows-probe.exe: the Windows program's own windows, built and
// shown as the installer shows them, with the program's resources (the
// pictures and the manifest), and an installation played by a script in
// place of the patcher: eight scenes of four sub-scenes whose bars move as
// the patcher's callbacks move them, the pause and the pass over pending
// messages after each, then the message box "Done!".
//
// scripts/wine-window-test runs it under Wine and answers what it announces
// on standard output, one line each:
//   probe: install button at X Y       click it
//   probe: message box Done! ok at X Y the box is up: screenshot, click OK
//   probe: close box at X Y            click the installer window's close box
// It ends with status 0 when everything was seen as the installer must show
// it, 1 with the faults on standard error, 2 when the clicks did not come.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/desktop.h"
#include "app/gui/built_in_pictures.h"
#include "app/gui/installer_windows_win32.h"
#include "app/gui/windowed_desktop.h"
#include "app/installer_layout.h"
#include "app/pictures.h"
#include "common/wide_text_win32.h"

namespace vh {
namespace {

// How long the script may take for all its clicks.
constexpr UINT kScriptTimeoutMs = 60000;
constexpr int kScenes = 8;
constexpr int kSubScenes = 4;
// Slow enough for the eye on a screenshot taken meanwhile; 32 steps of it.
constexpr DWORD kStepMs = 30;

void announce(const char* what, POINT at) {
  std::printf("probe: %s at %ld %ld\n", what, static_cast<long>(at.x), static_cast<long>(at.y));
  std::fflush(stdout);
}

POINT centreOnScreen(HWND window) {
  RECT face{};
  GetClientRect(window, &face);
  POINT centre{face.right / 2, face.bottom / 2};
  ClientToScreen(window, &centre);
  return centre;
}

// The point of the installer window's close box on the screen, as the
// window itself tells it.
POINT closeBox(HWND installer) {
  RECT outer{};
  GetWindowRect(installer, &outer);
  POINT client{0, 0};
  ClientToScreen(installer, &client);
  const int y = (outer.top + client.y) / 2;
  int right = -1;
  int left = -1;
  for (int x = outer.right - 1; x > outer.left; --x) {
    const bool onClose = SendMessageW(installer, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE;
    if (onClose && right < 0) right = x;
    if (onClose) left = x;
    if (!onClose && right >= 0) break;
  }
  return {(left + right) / 2, y};
}

// The message boxes seen, by a timer of this thread that looks while a box
// waits for its answer.
std::vector<std::string> boxesSeen;
HWND boxAnnounced = nullptr;

BOOL CALLBACK lookAtWindow(HWND window, LPARAM) {
  wchar_t className[64] = L"";
  GetClassNameW(window, className, 64);
  if (window == boxAnnounced || !IsWindowVisible(window) || std::wstring(className) != L"#32770") return TRUE;
  // A message box shows its text in the static control 0xFFFF.
  wchar_t text[1024] = L"";
  GetDlgItemTextW(window, 0xFFFF, text, 1024);
  const std::string utf8 = utf8Text(text);
  boxesSeen.push_back(utf8);
  boxAnnounced = window;
  announce(("message box " + utf8 + " ok").c_str(), centreOnScreen(GetDlgItem(window, IDOK)));
  return FALSE;
}

void CALLBACK lookForMessageBox(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), lookAtWindow, 0); }

bool timedOut = false;
HWND installerWindow = nullptr;

void CALLBACK giveUp(HWND, UINT, UINT_PTR, DWORD) {
  timedOut = true;
  if (boxAnnounced) PostMessageW(boxAnnounced, WM_COMMAND, IDOK, 0);
  PostMessageW(installerWindow, WM_CLOSE, 0, 0);
}

int barPosition(HWND bar) { return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)); }

// A bar's share as the patcher reckons it, in the program's whole percent.
int percentOf(int done, int total) { return total > 0 ? wholePercent(static_cast<double>(done) / total) : 0; }

int run() {
  if (!openWindowSystem()) {
    std::fprintf(stderr, "probe: no window system to show the windows on\n");
    return 1;
  }
  registerBuiltInPictures();
  Win32InstallerWindows windows;
  windows.build(false, loadPicture(kMapPicture), loadPicture(kTitlePicture));
  windows.show();
  pumpWindowMessages();
  installerWindow = windows.installer();
  const UINT_PTR watch = SetTimer(nullptr, 0, 100, lookForMessageBox);
  const UINT_PTR deadline = SetTimer(nullptr, 0, kScriptTimeoutMs, giveUp);
  announce("install button", centreOnScreen(windows.gadget(kInstallButton)));

  int installs = 0;
  std::vector<std::string> faults;
  const auto expect = [&faults](bool holds, const std::string& fault) {
    if (!holds) faults.push_back(fault);
  };
  const auto install = [&] {
    ++installs;
    windows.setButtons(false, false);
    for (int scene = 0; scene < kScenes; ++scene) {
      for (int sub = 1; sub <= kSubScenes; ++sub) {
        windows.setBarPercent(kSceneBar, percentOf(sub, kSubScenes));
        Sleep(kStepMs);
        pumpWindowMessages();
      }
      windows.setBarPercent(kSceneBar, 0);
      windows.setBarPercent(kOverallBar, percentOf(scene + 1, kScenes));
      Sleep(kStepMs);
      pumpWindowMessages();
      // Eight scenes step the overall bar by 12: 12, 25, 37, ... 100.
      const int overall = barPosition(windows.gadget(kOverallBar));
      expect(overall == (scene + 1) * 100 / kScenes, "the overall bar stood at " + std::to_string(overall) +
                                                        " after scene " + std::to_string(scene + 1));
    }
    SetActiveWindow(windows.installer());
    showMessageBox("Done!");
    windows.setButtons(false, true);
    announce("close box", closeBox(windows.installer()));
  };
  const int status = windows.runEventLoop(install);
  KillTimer(nullptr, deadline);
  KillTimer(nullptr, watch);

  if (timedOut) {
    std::fprintf(stderr, "probe: the script's clicks did not come within %u s\n", kScriptTimeoutMs / 1000);
    return 2;
  }
  expect(status == 0, "the event loop ended with " + std::to_string(status));
  expect(installs == 1, "the install handler ran " + std::to_string(installs) + " times");
  expect(boxesSeen == std::vector<std::string>{"Done!"}, "the message boxes were not \"Done!\" alone");
  expect(barPosition(windows.gadget(kOverallBar)) == 100, "the overall bar did not end at 100");
  expect(barPosition(windows.gadget(kSceneBar)) == 0, "the scene bar did not end at 0");
  expect(!IsWindowEnabled(windows.gadget(kInstallButton)), "the install button was enabled again");
  expect(IsWindowEnabled(windows.gadget(kAboutButton)), "the About button stayed disabled");
  expect(!IsWindowVisible(windows.installer()), "the installer window stayed on screen after its close box");
  for (const std::string& fault : faults) std::fprintf(stderr, "probe: %s\n", fault.c_str());
  return faults.empty() ? 0 : 1;
}

}  // namespace
}  // namespace vh

int main() { return vh::run(); }
