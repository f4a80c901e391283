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

}  // namespace vh
