#include "app/gui/installer_windows_win32.h"

#include <commctrl.h>

#include "app/pictures.h"
#include "common/wide_text_win32.h"

namespace vh {

namespace {

constexpr wchar_t kBackdropClass[] = L"vhpatch backdrop";
constexpr wchar_t kMapPanelClass[] = L"vhpatch map panel";
constexpr wchar_t kInstallerClass[] = L"vhpatch installer";
constexpr wchar_t kTitlePanelClass[] = L"vhpatch title panel";

// A title bar with a close box, fixed in size.
constexpr DWORD kInstallerStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kInstallerExStyle = WS_EX_CONTROLPARENT;
// Gadgets are numbered from here in the layout table's order.
constexpr int kFirstGadgetId = 100;

// The installer window's class, by which a message's window is known as
// one whose keyboard moves between buttons.
ATOM installerClass = 0;

HINSTANCE programInstance() { return GetModuleHandleW(nullptr); }

// The windows object a window belongs to: handed over at creation, kept in
// the window's user data.
Win32InstallerWindows* windowsOf(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32InstallerWindows*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return self;
  }
  return reinterpret_cast<Win32InstallerWindows*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

int scaledForDpi(int pixels, int dpi) { return MulDiv(pixels, dpi, USER_DEFAULT_SCREEN_DPI); }

std::unique_ptr<InstallerWindows> makeInstallerWindows() { return std::make_unique<Win32InstallerWindows>(); }

BITMAPINFO Win32InstallerWindows::Picture::info() const {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

Win32InstallerWindows::Picture Win32InstallerWindows::pictureOf(const PixelMap& map) {
  Picture picture;
  if (map.empty()) return picture;
  picture.width = map.width();
  picture.height = map.height();
  picture.pixels.resize(static_cast<size_t>(map.width()) * static_cast<size_t>(map.height()));
  uint32_t* out = picture.pixels.data();
  for (int y = 0; y < map.height(); ++y) {
    const uint8_t* rgb = map.row(y);
    for (int x = 0; x < map.width(); ++x, rgb += PixelMap::kBytesPerPixel) {
      *out++ = (static_cast<uint32_t>(rgb[0]) << 16) | (static_cast<uint32_t>(rgb[1]) << 8) | rgb[2];
    }
  }
  return picture;
}

void Win32InstallerWindows::registerClasses() {
  static const bool registered = [] {
    const auto add = [](const wchar_t* name, WNDPROC procedure, HBRUSH background) {
      WNDCLASSEXW windowClass{};
      windowClass.cbSize = sizeof windowClass;
      windowClass.lpfnWndProc = procedure;
      windowClass.hInstance = programInstance();
      // The arrow, IDC_ARROW, whose macro is the narrow form here.
      windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
      windowClass.hbrBackground = background;
      windowClass.lpszClassName = name;
      return RegisterClassExW(&windowClass);
    };
    // The panels paint every pixel of themselves; the installer window has
    // the colour of a dialog behind its labels.
    add(kBackdropClass, backdropProc, nullptr);
    add(kMapPanelClass, mapPanelProc, nullptr);
    installerClass = add(kInstallerClass, installerProc, GetSysColorBrush(COLOR_BTNFACE));
    add(kTitlePanelClass, titlePanelProc, nullptr);
    return true;
  }();
  (void)registered;
}

Win32InstallerWindows::Win32InstallerWindows() = default;

Win32InstallerWindows::~Win32InstallerWindows() {
  // The installer window first: the backdrop owns it.
  if (installer_) DestroyWindow(installer_);
  if (backdrop_) DestroyWindow(backdrop_);
  forgetScaledMap();
  if (font_) DeleteObject(font_);
}

void Win32InstallerWindows::build(bool applyNow, PixelMap map, PixelMap title) {
  registerClasses();
  map_ = pictureOf(map);
  title_ = pictureOf(title);
  // The installer's place is reckoned in the layout table's pixels: the
  // fixed place on a screen of the system's DPI, or in front of the
  // backdrop from its size in them.
  if (applyNow) {
    buildInstaller(installerPlace(true, 0, 0), static_cast<int>(GetDpiForSystem()), nullptr);
    return;
  }
  buildBackdrop();
  RECT area{};
  GetClientRect(backdrop_, &area);
  const int dpi = static_cast<int>(GetDpiForWindow(backdrop_));
  buildInstaller(installerPlace(false, MulDiv(area.right, USER_DEFAULT_SCREEN_DPI, dpi),
                                MulDiv(area.bottom, USER_DEFAULT_SCREEN_DPI, dpi)),
                 dpi, backdrop_);
}

void Win32InstallerWindows::buildBackdrop() {
  const std::wstring title = shownText(kInstallerTitle);
  // Without title bar or border, hidden until maximised.
  backdrop_ = CreateWindowExW(0, kBackdropClass, title.c_str(), WS_POPUP | WS_CLIPCHILDREN, 0, 0, 100, 100, nullptr,
                              nullptr, programInstance(), this);
  // The panel follows the window's size on all four edges (WM_SIZE).
  mapPanel_ = CreateWindowExW(0, kMapPanelClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, backdrop_, nullptr,
                              programInstance(), this);
  ShowWindow(backdrop_, SW_MAXIMIZE);
}

void Win32InstallerWindows::buildInstaller(WindowPlace place, int placeDpi, HWND owner) {
  const int clientX = scaledForDpi(place.x, placeDpi);
  const int clientY = scaledForDpi(place.y, placeDpi);

  const std::wstring title = shownText(kInstallerTitle);
  // Made hidden where it goes, so that it learns the DPI of its monitor
  // before anything is sized.
  installer_ = CreateWindowExW(kInstallerExStyle, kInstallerClass, title.c_str(), kInstallerStyle, clientX, clientY,
                               kInstallerWidth, kInstallerHeight, owner, nullptr, programInstance(), this);

  gadgets_.assign(kInstallerGadgets.size(), nullptr);
  for (size_t index = 0; index < kInstallerGadgets.size(); ++index) {
    const GadgetLayout& layout = kInstallerGadgets[index];
    const HWND parent = layout.parent == GadgetParent::TitlePanel ? gadgets_[kTitlePanel] : installer_;
    const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstGadgetId + index));
    const std::wstring text = shownText(layout.text);
    const wchar_t* windowClass = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (layout.kind) {
      case GadgetKind::Panel:
        // A sunken border; the buttons on it take part in the keyboard's
        // moves through the installer window. Its text is its name, never
        // drawn.
        windowClass = kTitlePanelClass;
        style |= WS_CLIPCHILDREN;
        exStyle = WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT;
        break;
      case GadgetKind::PushButton:
        windowClass = WC_BUTTONW;
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case GadgetKind::Label:
        windowClass = WC_STATICW;
        style |= SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE;
        break;
      case GadgetKind::ProgressBar:
        windowClass = PROGRESS_CLASSW;
        break;
    }
    gadgets_[index] = CreateWindowExW(exStyle, windowClass, text.c_str(), style, 0, 0, 0, 0, parent, id,
                                      programInstance(), this);
    if (layout.kind == GadgetKind::ProgressBar) {
      SendMessageW(gadgets_[index], PBM_SETRANGE32, 0, 100);
      setBarPercent(static_cast<GadgetIndex>(index), 0);
    }
  }
  layOut(static_cast<int>(GetDpiForWindow(installer_)), clientX, clientY);
}

void Win32InstallerWindows::layOut(int dpi, int clientX, int clientY) {
  dpi_ = dpi;
  const auto scaled = [dpi](int pixels) { return scaledForDpi(pixels, dpi); };
  const HFONT font = makeCaptionFont(dpi);
  for (size_t index = 0; index < gadgets_.size(); ++index) {
    const GadgetLayout& layout = kInstallerGadgets[index];
    SetWindowPos(gadgets_[index], nullptr, scaled(layout.x), scaled(layout.y), scaled(layout.width),
                 scaled(layout.height), SWP_NOZORDER | SWP_NOACTIVATE);
    if (font) SendMessageW(gadgets_[index], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  if (font) {
    if (font_) DeleteObject(font_);
    font_ = font;
  }
  RECT outer{clientX, clientY, clientX + scaled(kInstallerWidth), clientY + scaled(kInstallerHeight)};
  AdjustWindowRectExForDpi(&outer, kInstallerStyle, FALSE, kInstallerExStyle, static_cast<UINT>(dpi));
  SetWindowPos(installer_, nullptr, outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(installer_, nullptr, TRUE);
}

void Win32InstallerWindows::show() {
  // The backdrop is on screen since it was maximised; showing it again
  // keeps it maximised.
  if (backdrop_) ShowWindow(backdrop_, SW_SHOW);
  ShowWindow(installer_, SW_SHOW);
  SetForegroundWindow(installer_);
  SetFocus(gadgets_[kInstallButton]);
  UpdateWindow(installer_);
}

void Win32InstallerWindows::setBarPercent(GadgetIndex bar, int percent) {
  SendMessageW(gadgets_[bar], PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void Win32InstallerWindows::setButtons(bool installEnabled, bool aboutEnabled) {
  EnableWindow(gadgets_[kInstallButton], installEnabled);
  EnableWindow(gadgets_[kAboutButton], aboutEnabled);
}

bool Win32InstallerWindows::dispatch(const WindowEvent& event, const std::function<void()>& install) {
  if (event.id == kEventCloseWindow && event.source == installer_) {
    ShowWindow(installer_, SW_HIDE);
    return true;
  }
  // A press queued before the button was disabled is not a second install.
  if (event.id == kEventGadgetUp && event.source == gadgets_[kInstallButton] && IsWindowEnabled(event.source)) {
    install();
  }
  // The About button, a press on the title panel, and everything from the
  // backdrop do nothing.
  return false;
}

int Win32InstallerWindows::runEventLoop(const std::function<void()>& install) {
  for (;;) {
    while (events_.empty()) {
      // Without a shown window no close request can ever come.
      if (!IsWindowVisible(installer_) && !(backdrop_ && IsWindowVisible(backdrop_))) return 0;
      MSG message{};
      const BOOL got = GetMessageW(&message, nullptr, 0, 0);
      if (got == 0) {
        // Someone asked the thread to end: left in the queue for the
        // program's own end.
        PostQuitMessage(static_cast<int>(message.wParam));
        return 0;
      }
      if (got < 0) return 0;
      deliverWindowMessage(message);
    }
    const WindowEvent event = events_.front();
    events_.pop_front();
    if (dispatch(event, install)) return 0;
  }
}

void Win32InstallerWindows::forgetScaledMap() {
  if (scaledMap_) DeleteObject(scaledMap_);
  scaledMap_ = nullptr;
  scaledMapSize_ = SIZE{};
}

void Win32InstallerWindows::paintMap(HDC dc) {
  RECT client{};
  GetClientRect(mapPanel_, &client);
  const Rect fitted = fitCentred(map_.width, map_.height, client.right, client.bottom);
  // Black bands beside the map.
  const int saved = SaveDC(dc);
  if (fitted.width > 0) ExcludeClipRect(dc, fitted.x, fitted.y, fitted.x + fitted.width, fitted.y + fitted.height);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  RestoreDC(dc, saved);
  if (fitted.width <= 0) return;

  HDC memory = CreateCompatibleDC(dc);
  if (!scaledMap_ || scaledMapSize_.cx != fitted.width || scaledMapSize_.cy != fitted.height) {
    forgetScaledMap();
    scaledMap_ = CreateCompatibleBitmap(dc, fitted.width, fitted.height);
    scaledMapSize_ = SIZE{fitted.width, fitted.height};
    const HGDIOBJ previous = SelectObject(memory, scaledMap_);
    SetStretchBltMode(memory, HALFTONE);
    SetBrushOrgEx(memory, 0, 0, nullptr);
    const BITMAPINFO info = map_.info();
    StretchDIBits(memory, 0, 0, fitted.width, fitted.height, 0, 0, map_.width, map_.height, map_.pixels.data(), &info,
                  DIB_RGB_COLORS, SRCCOPY);
    SelectObject(memory, previous);
  }
  const HGDIOBJ previous = SelectObject(memory, scaledMap_);
  BitBlt(dc, fitted.x, fitted.y, fitted.width, fitted.height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
}

void Win32InstallerWindows::paintTitle(HDC dc) {
  RECT client{};
  GetClientRect(gadgets_[kTitlePanel], &client);
  if (title_.empty()) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    return;
  }
  // At its own size (in the layout's pixels) from the top-left corner, and
  // repeated where the panel is larger.
  const int tileWidth = scaledForDpi(title_.width, dpi_);
  const int tileHeight = scaledForDpi(title_.height, dpi_);
  const BITMAPINFO info = title_.info();
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  for (int y = 0; y < client.bottom; y += tileHeight) {
    for (int x = 0; x < client.right; x += tileWidth) {
      StretchDIBits(dc, x, y, tileWidth, tileHeight, 0, 0, title_.width, title_.height, title_.pixels.data(), &info,
                    DIB_RGB_COLORS, SRCCOPY);
    }
  }
}

LRESULT CALLBACK Win32InstallerWindows::backdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32InstallerWindows* self = windowsOf(window, message, lParam);
  if (self) {
    switch (message) {
      case WM_SIZE:
        if (self->mapPanel_) MoveWindow(self->mapPanel_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
      case WM_ERASEBKGND:
        return 1;  // the panel covers it
      case WM_CLOSE:
        // Queued like the installer window's, and ignored by the loop.
        self->post({kEventCloseWindow, window, 0});
        return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32InstallerWindows::mapPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32InstallerWindows* self = windowsOf(window, message, lParam);
  if (self) {
    switch (message) {
      case WM_ERASEBKGND:
        return 1;
      case WM_SIZE:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
      case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        self->paintMap(dc);
        EndPaint(window, &paint);
        return 0;
      }
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32InstallerWindows::installerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32InstallerWindows* self = windowsOf(window, message, lParam);
  if (self) {
    switch (message) {
      case WM_CLOSE:
        // The close box: handled by the loop in its turn, so that one made
        // during an installation waits until the installation has returned.
        self->post({kEventCloseWindow, window, 0});
        return 0;
      case WM_DPICHANGED: {
        // Moved to a monitor of another DPI: laid out again where the
        // system suggests.
        const int dpi = HIWORD(wParam);
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        RECT frame{};
        AdjustWindowRectExForDpi(&frame, kInstallerStyle, FALSE, kInstallerExStyle, static_cast<UINT>(dpi));
        self->layOut(dpi, suggested->left - frame.left, suggested->top - frame.top);
        return 0;
      }
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32InstallerWindows::titlePanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32InstallerWindows* self = windowsOf(window, message, lParam);
  if (self) {
    switch (message) {
      case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam) {
          self->post({kEventGadgetUp, reinterpret_cast<HWND>(lParam), 0});
        }
        return 0;
      case WM_LBUTTONDOWN:
        self->post({kEventMouseButton, window, 1});
        return 0;
      case WM_MBUTTONDOWN:
        self->post({kEventMouseButton, window, 2});
        return 0;
      case WM_RBUTTONDOWN:
        self->post({kEventMouseButton, window, 3});
        return 0;
      // The buttons' themes draw their corners over the panel's picture,
      // which they ask for through these two.
      case WM_ERASEBKGND:
        self->paintTitle(reinterpret_cast<HDC>(wParam));
        return 1;
      case WM_PRINTCLIENT:
        self->paintTitle(reinterpret_cast<HDC>(wParam));
        return 0;
      case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        self->paintTitle(dc);
        EndPaint(window, &paint);
        return 0;
      }
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void deliverWindowMessage(MSG& message) {
  const HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (root && installerClass && GetClassLongPtrW(root, GCW_ATOM) == installerClass && IsDialogMessageW(root, &message)) {
    return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace vh
