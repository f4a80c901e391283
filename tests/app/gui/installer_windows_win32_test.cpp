// The installer's windows on Windows, built in this process with the
// program's own resources: what was built against the layout table, the
// bars and the buttons, the event table fed by real window messages, the
// message box and the folder chooser shown and answered, and what the
// manifest gives. They need a screen: scripts/wine-window-test runs them
// under Wine on an X server of its own.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/embedded_files.h"
#include "app/gui/built_in_pictures.h"
#include "app/gui/installer_windows_win32.h"
#include "app/gui/windowed_desktop.h"
#include "app/pictures.h"
#include "common/wide_text_win32.h"
#include "tests/test_support.h"

namespace vh {
namespace {

const char* const kTitle = "瓦恩霍洛 简体中文补丁**测试版**";

std::string textOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return utf8Text(text);
}

std::string classOf(HWND window) {
  wchar_t name[256] = L"";
  GetClassNameW(window, name, 256);
  std::string utf8 = utf8Text(name);
  std::transform(utf8.begin(), utf8.end(), utf8.begin(), [](unsigned char c) { return std::tolower(c); });
  return utf8;
}

// A window's place relative to its parent's client area.
Rect placeOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

POINT onScreen(HWND window, int x, int y) {
  POINT point{x, y};
  ClientToScreen(window, &point);
  return point;
}

// The colour (0xRRGGBB) on the screen at a point of a window's client area.
unsigned long screenPixel(HWND window, int x, int y) {
  const POINT at = onScreen(window, x, y);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, at.x, at.y);
  ReleaseDC(nullptr, screen);
  return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

bool closeColours(unsigned long a, unsigned long b) {
  for (int shift : {0, 8, 16}) {
    const int difference = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(difference) > 8) return false;
  }
  return true;
}

int barPosition(HWND bar) { return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)); }

// Lets the windows take and paint what the system sent them.
void settle(int milliseconds = 150) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < until) {
    pumpWindowMessages();
    Sleep(5);
  }
}

// A left click at a point of a window's client area, as the window gets it
// from the mouse. The pointer itself is the probe's (a click from the X
// server, scripts/wine-window-test); here the window's own handling counts.
void click(HWND window, int x, int y) {
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  settle();
}

class Win32InstallerWindowsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(openWindowSystem());
    registerBuiltInPictures();
  }

  void build(bool applyNow) {
    windows.build(applyNow, applyNow ? PixelMap() : loadPicture(kMapPicture), loadPicture(kTitlePicture));
    windows.show();
    settle();
  }

  int px(int layoutPixels) const { return scaledForDpi(layoutPixels, windows.dpi()); }

  Win32InstallerWindows windows;
};

TEST_F(Win32InstallerWindowsTest, BuildsBothWindowsAndEveryGadgetOfTheTable) {
  build(false);

  // The backdrop: maximised, without title bar or border, the map's panel
  // over all of it.
  const HWND backdrop = windows.backdrop();
  EXPECT_TRUE(IsZoomed(backdrop));
  const LONG_PTR backdropStyle = GetWindowLongPtrW(backdrop, GWL_STYLE);
  EXPECT_TRUE(backdropStyle & WS_POPUP);
  EXPECT_FALSE(backdropStyle & (WS_CAPTION | WS_THICKFRAME | WS_BORDER));
  RECT area{};
  GetClientRect(backdrop, &area);
  EXPECT_EQ(placeOf(windows.mapPanel()), Rect(0, 0, area.right, area.bottom));
  EXPECT_EQ(textOf(backdrop), kTitle);

  // The installer window: a client area of 323 x 292 at a tenth of the
  // backdrop's width, 350 above its bottom, owned by the backdrop, with a
  // close box and fixed in size.
  const HWND installer = windows.installer();
  RECT client{};
  GetClientRect(installer, &client);
  EXPECT_EQ(client.right, px(323));
  EXPECT_EQ(client.bottom, px(292));
  const int layoutWidth = MulDiv(area.right, USER_DEFAULT_SCREEN_DPI, windows.dpi());
  const int layoutHeight = MulDiv(area.bottom, USER_DEFAULT_SCREEN_DPI, windows.dpi());
  const POINT origin = onScreen(installer, 0, 0);
  EXPECT_EQ(origin.x, px(layoutWidth / 10));
  EXPECT_EQ(origin.y, px(layoutHeight - 350));
  EXPECT_EQ(GetWindow(installer, GW_OWNER), backdrop);
  const LONG_PTR style = GetWindowLongPtrW(installer, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
  EXPECT_EQ(textOf(installer), kTitle);
  EXPECT_TRUE(IsWindowVisible(installer));

  // Every gadget where the layout puts it, relative to its parent's client
  // area; the numbers are written out here rather than taken from the table
  // the windows are built from.
  struct Expected {
    GadgetIndex index;
    bool onTitlePanel;
    Rect place;
    const char* windowClass;
    const char* text;
  };
  const Expected expected[] = {
      {kTitlePanel, false, {5, 8, 313, 208}, "vhpatch title panel", "PlainPanel1"},
      {kInstallButton, true, {4, 3, 82, 23}, "button", "开始安装"},
      {kAboutButton, true, {4, 31, 82, 22}, "button", "关于"},
      {kSceneLabel, false, {6, 256, 308, 16}, "static", "当前场景进度"},
      {kOverallLabel, false, {6, 224, 316, 16}, "static", "总进度"},
      {kSceneBar, false, {5, 273, 314, 13}, "msctls_progress32", ""},
      {kOverallBar, false, {5, 240, 314, 13}, "msctls_progress32", ""},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.text);
    const HWND gadget = windows.gadget(e.index);
    ASSERT_NE(gadget, nullptr);
    EXPECT_EQ(placeOf(gadget), Rect(px(e.place.x), px(e.place.y), px(e.place.width), px(e.place.height)));
    EXPECT_EQ(GetParent(gadget), e.onTitlePanel ? windows.gadget(kTitlePanel) : installer);
    EXPECT_EQ(classOf(gadget), e.windowClass);
    EXPECT_EQ(textOf(gadget), e.text);
    EXPECT_TRUE(IsWindowEnabled(gadget));
    // Drawn in a font with every character of the caption, not as boxes.
    if (e.index != kTitlePanel) {
      EXPECT_TRUE(fontCovers(reinterpret_cast<HFONT>(SendMessageW(gadget, WM_GETFONT, 0, 0)), shownText(e.text)));
    }
  }
  EXPECT_TRUE(GetWindowLongPtrW(windows.gadget(kTitlePanel), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);

  // Made in the window's order: panel, labels, bars; the buttons on the
  // panel, install first.
  std::vector<HWND> children;
  for (HWND child = GetWindow(installer, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  EXPECT_EQ(children, (std::vector<HWND>{windows.gadget(kTitlePanel), windows.gadget(kSceneLabel),
                                         windows.gadget(kOverallLabel), windows.gadget(kSceneBar),
                                         windows.gadget(kOverallBar)}));
  EXPECT_EQ(GetWindow(windows.gadget(kTitlePanel), GW_CHILD), windows.gadget(kInstallButton));

  // The bars run from 0 to 100 and start at 0; a whole percent lands as it is.
  for (GadgetIndex bar : {kSceneBar, kOverallBar}) {
    PBRANGE range{};
    SendMessageW(windows.gadget(bar), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(barPosition(windows.gadget(bar)), 0);
  }
  windows.setBarPercent(kSceneBar, 99);
  windows.setBarPercent(kOverallBar, 37);
  EXPECT_EQ(barPosition(windows.gadget(kSceneBar)), 99);
  EXPECT_EQ(barPosition(windows.gadget(kOverallBar)), 37);

  // On the screen: black bands beside the map, the map in between, and the
  // title picture from the panel's top-left corner at its own size.
  settle();
  const HWND map = windows.mapPanel();
  const Rect fitted = fitCentred(1000, 1415, area.right, area.bottom);
  ASSERT_GT(fitted.x, 2) << "the screen is narrower than the map's proportions";
  EXPECT_EQ(screenPixel(map, fitted.x / 2, area.bottom / 3), 0x000000u);
  EXPECT_NE(screenPixel(map, area.right / 2, area.bottom / 3), 0x000000u);
  const PixelMap title = loadPicture(kTitlePicture);
  for (POINT at : {POINT{100, 60}, POINT{200, 150}, POINT{290, 190}}) {
    const unsigned long shown = screenPixel(windows.gadget(kTitlePanel), px(at.x), px(at.y));
    const unsigned long drawn = title.getPixel(at.x, at.y) & 0xFFFFFFu;
    EXPECT_TRUE(closeColours(shown, drawn)) << std::hex << shown << " where the picture has " << drawn;
  }
}

TEST_F(Win32InstallerWindowsTest, MakeAndApplyHasNoBackdropAndAFixedPlace) {
  build(true);
  EXPECT_EQ(windows.backdrop(), nullptr);
  const POINT origin = onScreen(windows.installer(), 0, 0);
  const int system = static_cast<int>(GetDpiForSystem());
  EXPECT_EQ(origin.x, scaledForDpi(400, system));
  EXPECT_EQ(origin.y, scaledForDpi(300, system));
  EXPECT_EQ(GetWindow(windows.installer(), GW_OWNER), nullptr);
  windows.setButtons(false, false);
  EXPECT_FALSE(IsWindowEnabled(windows.gadget(kInstallButton)));
  EXPECT_FALSE(IsWindowEnabled(windows.gadget(kAboutButton)));
  windows.setButtons(false, true);
  EXPECT_FALSE(IsWindowEnabled(windows.gadget(kInstallButton)));
  EXPECT_TRUE(IsWindowEnabled(windows.gadget(kAboutButton)));
}

TEST_F(Win32InstallerWindowsTest, TheEventTableRunsOneInstallAndEndsOnTheInstallerClose) {
  build(false);
  int installs = 0;
  const auto install = [&] {
    ++installs;
    windows.setButtons(false, false);
    windows.setButtons(false, true);
  };
  // Ignored: About, a press on the title panel, a close request of the
  // backdrop, an unknown id from the install button.
  EXPECT_FALSE(windows.dispatch({kEventGadgetUp, windows.gadget(kAboutButton), 0}, install));
  EXPECT_FALSE(windows.dispatch({kEventMouseButton, windows.gadget(kTitlePanel), 1}, install));
  EXPECT_FALSE(windows.dispatch({kEventCloseWindow, windows.backdrop(), 0}, install));
  EXPECT_FALSE(windows.dispatch({kEventMouseButton, windows.gadget(kInstallButton), 1}, install));
  EXPECT_EQ(installs, 0);
  EXPECT_TRUE(IsWindowVisible(windows.backdrop()));

  // Two presses queued before the first is handled install once; the close
  // request queued behind them ends the loop after the installation.
  windows.post({kEventGadgetUp, windows.gadget(kInstallButton), 0});
  windows.post({kEventGadgetUp, windows.gadget(kInstallButton), 0});
  windows.post({kEventCloseWindow, windows.installer(), 0});
  EXPECT_EQ(windows.runEventLoop(install), 0);
  EXPECT_EQ(installs, 1);
  EXPECT_FALSE(IsWindowVisible(windows.installer()));
  EXPECT_FALSE(IsWindowEnabled(windows.gadget(kInstallButton)));
  EXPECT_TRUE(IsWindowEnabled(windows.gadget(kAboutButton)));
}

TEST_F(Win32InstallerWindowsTest, WindowMessagesBecomeEventsAndEscapeIsNoCloseRequest) {
  build(false);
  const HWND panel = windows.gadget(kTitlePanel);
  const HWND button = windows.gadget(kInstallButton);
  RECT face{};
  GetClientRect(button, &face);
  click(button, face.right / 2, face.bottom / 2);
  // The title panel away from its buttons.
  click(panel, px(200), px(150));
  // Escape reaches the installer window as a dialog's cancel, which is no
  // close request; the close box of the backdrop and of the installer are.
  PostMessageW(button, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageW(windows.backdrop(), WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageW(windows.installer(), WM_SYSCOMMAND, SC_CLOSE, 0);
  settle();
  struct Seen {
    int id;
    HWND source;
    int data;
    bool operator==(const Seen&) const = default;
  };
  std::vector<Seen> queued;
  for (const WindowEvent& event : windows.pendingEvents()) queued.push_back({event.id, event.source, event.data});
  EXPECT_EQ(queued, (std::vector<Seen>{{8193, button, 0},
                                       {1025, panel, 1},
                                       {16387, windows.backdrop(), 0},
                                       {16387, windows.installer(), 0}}));

  int installs = 0;
  EXPECT_EQ(windows.runEventLoop([&] { ++installs; }), 0);
  EXPECT_EQ(installs, 1);
  EXPECT_FALSE(IsWindowVisible(windows.installer()));
  EXPECT_TRUE(IsWindowVisible(windows.backdrop()));
}

// What the message box and the folder chooser showed, read by a timer of
// this thread while they wait for an answer, and the answer given: with
// `typed`, that text goes into the chooser's name box first, as a user
// types a folder's path. A box that does not close keeps being answered,
// with a cancel after `kPatience` tries, so that the test fails rather than
// waits for ever.
struct ModalWatch {
  std::wstring titleWanted;
  WPARAM answer = IDOK;
  std::wstring typed;
  std::vector<std::string> texts;
  std::vector<HWND> owners;
  std::vector<bool> ownerEnabled;
  HWND last = nullptr;
  int tries = 0;
};
ModalWatch* watch = nullptr;
constexpr int kPatience = 30;

BOOL CALLBACK typeIntoNameBox(HWND child, LPARAM) {
  if (classOf(child) != "edit" || !IsWindowVisible(child)) return TRUE;
  SetWindowTextW(child, watch->typed.c_str());
  return FALSE;
}

BOOL CALLBACK answerModal(HWND window, LPARAM) {
  wchar_t title[256] = L"";
  GetWindowTextW(window, title, 256);
  if (!IsWindowVisible(window) || classOf(window) != "#32770" || watch->titleWanted != title) return TRUE;
  if (window == watch->last) {
    PostMessageW(window, WM_COMMAND, ++watch->tries < kPatience ? watch->answer : IDCANCEL, 0);
    return FALSE;
  }
  watch->last = window;
  watch->tries = 0;
  // A message box shows its text in the static control 0xFFFF.
  wchar_t text[1024] = L"";
  GetDlgItemTextW(window, 0xFFFF, text, 1024);
  watch->texts.push_back(utf8Text(text));
  const HWND owner = GetWindow(window, GW_OWNER);
  watch->owners.push_back(owner);
  watch->ownerEnabled.push_back(owner && IsWindowEnabled(owner));
  if (!watch->typed.empty()) EnumChildWindows(window, typeIntoNameBox, 0);
  PostMessageW(window, WM_COMMAND, watch->answer, 0);
  return FALSE;
}

void CALLBACK lookForModal(HWND, UINT, UINT_PTR, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), answerModal, 0);
}

class ModalTest : public Win32InstallerWindowsTest {
 protected:
  void SetUp() override {
    Win32InstallerWindowsTest::SetUp();
    build(false);
    watch = &seen;
    timer = SetTimer(nullptr, 0, 100, lookForModal);
  }
  void TearDown() override {
    KillTimer(nullptr, timer);
    watch = nullptr;
  }
  ModalWatch seen;
  UINT_PTR timer = 0;
};

TEST_F(ModalTest, MessageBoxesComeOneAfterAnotherOwnedByTheActiveWindow) {
  seen.titleWanted = shownText(kTitle);
  SetActiveWindow(windows.installer());
  showMessageBox("failed to read:C:/游戏/Varnhollow/x.xarc");
  showMessageBox("failed applying patch:Global");
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"failed to read:C:/游戏/Varnhollow/x.xarc",
                                                  "failed applying patch:Global"}));
  // Modal: the owner takes no input while a box is shown.
  EXPECT_EQ(seen.owners, (std::vector<HWND>{windows.installer(), windows.installer()}));
  EXPECT_EQ(seen.ownerEnabled, (std::vector<bool>{false, false}));
  EXPECT_TRUE(IsWindowEnabled(windows.installer()));
}

TEST_F(ModalTest, TheFolderChooserGivesTheFolderItShowsOrNothing) {
  const std::string prompt = "Please specify your VHW installation";
  seen.titleWanted = shownText(prompt);
  wchar_t temporary[MAX_PATH] = L"";
  ASSERT_GT(GetTempPathW(MAX_PATH, temporary), 0u);
  const std::wstring game = std::wstring(temporary) + L"瓦恩霍洛游戏";
  CreateDirectoryW(game.c_str(), nullptr);
  wchar_t before[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, before);

  // Cancelled: nothing.
  seen.answer = IDCANCEL;
  EXPECT_EQ(showFolderChooser(prompt, utf8Text(game)), "");
  // The folder's path typed and accepted: that folder, in UTF-8.
  seen.answer = IDOK;
  seen.typed = game;
  const std::string chosen = showFolderChooser(prompt, utf8Text(game));
  EXPECT_EQ(seen.texts.size(), 2u) << "the chooser was not shown with the prompt as its title";
  const std::wstring chosenWide = wideText(chosen).value_or(L"");
  EXPECT_EQ(CompareStringOrdinal(chosenWide.c_str(), -1, game.c_str(), -1, TRUE), CSTR_EQUAL) << chosen;
  // The program's relative paths still mean its own folder.
  wchar_t after[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_STREQ(after, before);
  RemoveDirectoryW(game.c_str());
}

TEST(ScaledForDpi, TheLayoutsPixelsAreThoseOfA96DpiScreen) {
  struct Case {
    int pixels, dpi, scaled;
  };
  for (const Case& c : {Case{323, 96, 323}, Case{323, 120, 404}, Case{323, 144, 485}, Case{292, 192, 584},
                        Case{13, 144, 20}, Case{350, 168, 613}, Case{0, 144, 0}}) {
    EXPECT_EQ(scaledForDpi(c.pixels, c.dpi), c.scaled) << c.pixels << " at " << c.dpi;
  }
}

TEST(ProgramResources, HoldThePicturesAndTheManifestTakesEffect) {
  registerBuiltInPictures();
  const auto map = findEmbeddedFile("incbin::map.jpg");
  const auto title = findEmbeddedFile("incbin::title.bmp");
  ASSERT_TRUE(map && title);
  EXPECT_EQ(std::string(*map), test::readFile(std::string(VH_SOURCE_DIR) + "/assets/map.jpg"));
  EXPECT_EQ(std::string(*title), test::readFile(std::string(VH_SOURCE_DIR) + "/assets/title.bmp"));

  // The captions' face, which GDI takes.
  EXPECT_TRUE(addBuiltInCaptionFace());

  // Aware of each monitor's DPI, and the common controls of version 6.
  EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext()), DPI_AWARENESS_PER_MONITOR_AWARE);
  ASSERT_TRUE(openWindowSystem());
  // The manifest's dependency sends every load of comctl32.dll to the
  // assembly of version 6, whatever the DLL itself says of its version.
  ACTCTX_SECTION_KEYED_DATA redirection{};
  redirection.cbSize = sizeof redirection;
  EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll",
                                       &redirection))
      << "comctl32.dll is not redirected to the common controls of version 6";
}

}  // namespace
}  // namespace vh
