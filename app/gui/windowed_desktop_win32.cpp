// The window system's services on Windows: user32's message box, the
// shell's folder chooser, and the pass over the thread's pending messages.
#include "app/gui/windowed_desktop.h"

#include <windows.h>
#include <commctrl.h>
#include <shobjidl.h>

#include <memory>

#include "app/gui/installer_windows_win32.h"
#include "app/installer_layout.h"
#include "common/wide_text_win32.h"

namespace vh {

namespace {

struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T>
using ComPointer = std::unique_ptr<T, ComRelease>;

// COM for the folder chooser, for as long as it is shown; ended again only
// when this call began it.
class ComScope {
 public:
  ComScope() : began_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~ComScope() {
    if (began_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool began_;
};

}  // namespace

bool openWindowSystem() {
  // A service, or a session whose screen nobody sees, has no one to show
  // the windows to.
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  if (station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      !(flags.dwFlags & WSF_VISIBLE)) {
    return false;
  }
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
  return InitCommonControlsEx(&controls) != FALSE;
}

void showMessageBox(const std::string& text) {
  // Owned by the program's active window, which it disables meanwhile; with
  // none, every window of the program waits for it.
  const HWND owner = GetActiveWindow();
  UINT style = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND | MB_TOPMOST;
  if (!owner) style |= MB_TASKMODAL;
  MessageBoxW(owner, shownText(text).c_str(), shownText(kInstallerTitle).c_str(), style);
}

std::string showFolderChooser(const std::string& prompt, const std::string& initialFolder) {
  ComScope com;
  IFileOpenDialog* made = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(&made)))) {
    return "";
  }
  const ComPointer<IFileOpenDialog> dialog(made);
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  // Folders of the file system only, and the program's working folder, where
  // every relative path of the program resolves, left as it is.
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST | FOS_NOCHANGEDIR);
  dialog->SetTitle(shownText(prompt).c_str());
  if (!initialFolder.empty()) {
    IShellItem* folder = nullptr;
    if (SUCCEEDED(SHCreateItemFromParsingName(shownText(initialFolder).c_str(), nullptr, IID_IShellItem,
                                              reinterpret_cast<void**>(&folder)))) {
      const ComPointer<IShellItem> held(folder);
      dialog->SetFolder(folder);
    }
  }
  // Cancelled, or the chooser could not be shown: no folder either way.
  if (FAILED(dialog->Show(GetActiveWindow()))) return "";
  IShellItem* chosen = nullptr;
  if (FAILED(dialog->GetResult(&chosen))) return "";
  const ComPointer<IShellItem> held(chosen);
  PWSTR path = nullptr;
  if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) return "";
  std::string utf8 = utf8Text(path);
  CoTaskMemFree(path);
  return utf8;
}

void pumpWindowMessages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the program's own end.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    deliverWindowMessage(message);
  }
}

}  // namespace vh
