// FlushFileBuffers needs a handle that may write: the file is opened again
// for writing, sharing everything, so that no other holder is refused.
#include <windows.h>

#include <io.h>

#include "common/disk_sync.h"
#include "common/wide_text_win32.h"

namespace vh {

bool syncDescriptor(int fd) { return _commit(fd) == 0; }

bool syncFile(const std::string& path) {
  const auto wide = wideText(path);
  if (!wide || wide->empty()) return false;
  const HANDLE file = CreateFileW(wide->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool synced = FlushFileBuffers(file) != 0;
  return CloseHandle(file) != 0 && synced;
}

}  // namespace vh
