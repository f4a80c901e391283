// The folder is asked the only way Windows answers for certain: a new file
// is made in it and goes again at once (its access rules, inherited rights
// and any virtualisation included). A hidden, temporary file that is
// removed with its handle leaves nothing behind, even in a killed process.
#include <windows.h>

#include <string>

#include "common/file_system.h"
#include "common/wide_text_win32.h"
#include "common/write_access.h"

namespace vh {

namespace {

bool isFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool writeRefusedToUser(const std::string& path) {
  std::string folder = folderOf(path);
  std::optional<std::wstring> wide = wideText(folder);
  // Up to the nearest folder that exists; a drive's root ("C:") ends it.
  while (wide && !wide->empty() && !isFolder(*wide)) {
    const std::string up = folderOf(folder);
    if (up == folder) return false;
    folder = up;
    wide = wideText(folder);
  }
  if (!wide || wide->empty()) return false;
  const std::wstring probe = *wide + L"\\.vhpatch-access-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return false;
  }
  return GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace vh
