// The installation's guard on Windows: the lock is one byte of a hidden
// file in the game folder, and the stops are the console's control events
// (common/console_stops_win32.h, where a new file holds them back).
#include <windows.h>

#include <io.h>

#include "common/console_stops_win32.h"
#include "common/file_lock_win32.h"
#include "common/wide_text_win32.h"
#include "install/install_guard.h"

namespace vh {

namespace {

// In the game folder rather than the backup folder: an uninstallation
// removes the backup folder while it holds the lock. It goes with its last
// handle (FILE_FLAG_DELETE_ON_CLOSE), so nothing of it stays in the game.
constexpr const char* kLockFileName = ".vhpatch-lock";

// A lock file whose last holder is closing it cannot be opened until it is
// gone, which takes a moment.
constexpr int kAttempts = 8;
constexpr DWORD kPauseMs = 10;

}  // namespace

std::unique_ptr<GameFolderLock> GameFolderLock::take(const std::string& folder) {
  const std::string separator = folder.empty() || folder.back() == '/' || folder.back() == '\\' ? "" : "/";
  const std::wstring path = wideText(folder + separator + kLockFileName).value_or(std::wstring());
  const auto holdingNothing = [] { return std::unique_ptr<GameFolderLock>(new GameFolderLock(-1)); };
  if (path.empty()) return holdingNothing();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      // A folder this user may not write (the game under Program Files)
      // takes no lock: the installation goes on and fails at its first
      // write, which says so.
      if (GetLastError() != ERROR_ACCESS_DENIED) return holdingNothing();
      Sleep(kPauseMs);
      continue;
    }
    const LockAttempt locked = lockWithoutWaiting(file);
    if (locked == LockAttempt::Held) {
      CloseHandle(file);
      return nullptr;
    }
    if (locked == LockAttempt::Refused) {
      CloseHandle(file);
      return holdingNothing();
    }
    // The holder before may have closed it between its opening and the
    // lock: a lock on a file on its way out is no lock on the folder.
    if (stillNamed(file, path)) return std::unique_ptr<GameFolderLock>(new GameFolderLock(descriptorOf(file)));
    CloseHandle(file);
    Sleep(kPauseMs);
  }
  return holdingNothing();
}

GameFolderLock::~GameFolderLock() {
  if (fd_ >= 0) _close(fd_);
}

// The console keeps no handler of the process's to give back.
struct HeldSignals::Saved {};

HeldSignals::HeldSignals() { startListening(); }

HeldSignals::~HeldSignals() {
  const bool unseen = stopsHeard() > seen_;
  stopListening();
  // A stop that came after the last question ends the process as it would
  // have without us.
  if (unseen) ExitProcess(STATUS_CONTROL_C_EXIT);
}

bool HeldSignals::arrived() {
  seen_ = stopsHeard();
  arrived_ = arrived_ || seen_ > 0;
  return arrived_;
}

void keepStopsFromThisThread() {}

}  // namespace vh
