// The builder's claim on Windows: one byte of "patch.dat.building" locked
// (common/file_lock_win32.h). The handle shares everything, so that the zip
// writer can open the file for its bytes and the builder rename it when it
// is complete, and only reads, so that a writer that shares no writing
// (minizip's own) still opens it.
#include <windows.h>

#include <io.h>

#include "common/file_lock_win32.h"
#include "common/wide_text_win32.h"
#include "package/build_lock.h"

namespace vh {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// An installation may remove the file between its opening and its lock;
// the lock then holds a file no name leads to, and is taken again.
constexpr int kAttempts = 8;
constexpr DWORD kPauseMs = 10;

}  // namespace

std::unique_ptr<BuildLock> BuildLock::take(const std::string& path, const std::string&) {
  const std::wstring name = wideText(path).value_or(std::wstring());
  if (name.empty()) return std::unique_ptr<BuildLock>(new BuildLock(-1));
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const HANDLE file =
        CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    // One on its way out (removed by an installation, its last handle not
    // yet closed) cannot be opened for a moment.
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
      Sleep(kPauseMs);
      continue;
    }
    if (file == INVALID_HANDLE_VALUE) return std::unique_ptr<BuildLock>(new BuildLock(-1));
    const LockAttempt locked = lockWithoutWaiting(file);
    const bool named = stillNamed(file, name);
    if (locked == LockAttempt::Taken && named) return std::unique_ptr<BuildLock>(new BuildLock(descriptorOf(file)));
    CloseHandle(file);
    if (locked == LockAttempt::Held && named) return nullptr;
    if (locked == LockAttempt::Refused) return std::unique_ptr<BuildLock>(new BuildLock(-1));
  }
  // A name that never opens (a folder this user may not write) takes no
  // lock, as where the file system has none: the build fails at its write.
  return std::unique_ptr<BuildLock>(new BuildLock(-1));
}

BuildLock::~BuildLock() {
  if (fd_ >= 0) _close(fd_);
}

bool removeUnheldBuilding(const std::string& path) {
  const std::wstring name = wideText(path).value_or(std::wstring());
  if (name.empty()) return false;
  const HANDLE file =
      CreateFileW(name.c_str(), GENERIC_READ | DELETE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // The very file that was locked is the one removed, through its handle:
  // a build starting now either finds the name gone or fails to lock this
  // file and tries again.
  FILE_DISPOSITION_INFO remove{};
  remove.DeleteFile = TRUE;
  const bool removed = lockWithoutWaiting(file) == LockAttempt::Taken &&
                       SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
  CloseHandle(file);
  return removed;
}

}  // namespace vh
