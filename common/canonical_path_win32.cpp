// A handle's final path: every link and junction on the way followed (the
// path is opened, not read as text), the names in the case the disk keeps.
#include <windows.h>

#include <algorithm>

#include "common/canonical_path.h"
#include "common/wide_text_win32.h"

namespace vh {

namespace {

// The final path comes in the long form, "\\?\C:\..." or
// "\\?\UNC\server\share\...": the ordinary form is what the rest of the
// program and the user know.
std::wstring withoutLongPrefix(std::wstring path) {
  constexpr std::wstring_view kNetwork = L"\\\\?\\UNC\\";
  constexpr std::wstring_view kLocal = L"\\\\?\\";
  if (path.compare(0, kNetwork.size(), kNetwork) == 0) return L"\\\\" + path.substr(kNetwork.size());
  if (path.compare(0, kLocal.size(), kLocal) == 0) return path.substr(kLocal.size());
  return path;
}

}  // namespace

std::optional<std::string> canonicalPath(const std::string& path) {
  const auto wide = wideText(path);
  if (!wide || wide->empty()) return std::nullopt;
  // No access asked for, only the name; FILE_FLAG_BACKUP_SEMANTICS lets a
  // folder open too.
  const HANDLE handle = CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring final;
  const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  DWORD length = GetFinalPathNameByHandleW(handle, nullptr, 0, flags);
  if (length > 0) {
    final.resize(length);
    // With room for it, the length without the terminating zero.
    length = GetFinalPathNameByHandleW(handle, final.data(), length, flags);
    final.resize(length < final.size() ? length : 0);
  }
  CloseHandle(handle);
  if (final.empty()) return std::nullopt;
  std::string resolved = utf8Text(withoutLongPrefix(final));
  std::replace(resolved.begin(), resolved.end(), '\\', '/');
  return resolved;
}

}  // namespace vh
