#include <windows.h>

#include <algorithm>

#include "common/program_path.h"
#include "common/wide_text_win32.h"

namespace vh {

std::string programPath() {
  // The length is only known by trying: a buffer too small is filled to
  // its end, and the next one is twice as large.
  constexpr DWORD kLongest = 32768;  // the longest path Windows has
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return "";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= kLongest) return "";
    path.resize(path.size() * 2);
  }
  std::string utf8 = utf8Text(path);
  std::replace(utf8.begin(), utf8.end(), '\\', '/');
  return utf8;
}

std::string programFile() { return programPath(); }

std::string workingFolder() {
  // The size it needs, its terminating zero counted; the folder may change
  // between the two calls, so a second size asks again.
  std::wstring folder;
  for (DWORD need = GetCurrentDirectoryW(0, nullptr); need != 0;) {
    folder.assign(need, L'\0');
    const DWORD n = GetCurrentDirectoryW(need, folder.data());
    if (n == 0) return "";
    if (n < need) {
      folder.resize(n);
      std::string utf8 = utf8Text(folder);
      std::replace(utf8.begin(), utf8.end(), '\\', '/');
      return utf8;
    }
    need = n;
  }
  return "";
}

bool enterFolder(const std::string& folder) {
  const auto wide = wideText(folder);
  return wide && !wide->empty() && SetCurrentDirectoryW(wide->c_str()) != 0;
}

}  // namespace vh
