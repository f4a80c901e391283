#include "common/file_lock_win32.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>

namespace vh {

namespace {

// Far past any file's bytes, and below 2^63, where Wine's locks (over the
// host's fcntl locks, whose offsets are signed) still reach.
constexpr uint64_t kLockedByte = uint64_t{1} << 62;

}  // namespace

LockAttempt lockWithoutWaiting(HANDLE file) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(kLockedByte);
  at.OffsetHigh = static_cast<DWORD>(kLockedByte >> 32);
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return LockAttempt::Taken;
  const DWORD error = GetLastError();
  return error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION ? LockAttempt::Held
                                                                           : LockAttempt::Refused;
}

bool stillNamed(HANDLE file, const std::wstring& path) {
  const HANDLE named = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION open{}, there{};
  const bool same = GetFileInformationByHandle(file, &open) && GetFileInformationByHandle(named, &there) &&
                    open.dwVolumeSerialNumber == there.dwVolumeSerialNumber &&
                    open.nFileIndexHigh == there.nFileIndexHigh && open.nFileIndexLow == there.nFileIndexLow;
  CloseHandle(named);
  return same;
}

int descriptorOf(HANDLE file) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (fd < 0) CloseHandle(file);
  return fd;
}

}  // namespace vh
