// The regular-file reader on Windows: the path is taken as UTF-8 and opened
// by its wide name, so a folder with Chinese characters is found whatever
// the system's code page; a handle that is not a file on a disk (a pipe, the
// console, a device) is refused before a byte is read. The handle is kept as
// a C runtime descriptor, the same currency as on Linux, so that the streams
// over it need no second form.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <climits>
#include <string>

#include "common/files.h"
#include "common/wide_text_win32.h"

namespace vh {

std::optional<RegularFile> RegularFile::open(const std::string& path) {
  const std::wstring wide = wideText(path).value_or(std::wstring());
  if (wide.empty()) return std::nullopt;
  // Others may go on reading, writing or renaming the file meanwhile, as on
  // Linux; without FILE_FLAG_BACKUP_SEMANTICS a folder does not open at all.
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size) || size.QuadPart < 0) {
    CloseHandle(handle);
    return std::nullopt;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return std::nullopt;
  }
  return RegularFile(fd, static_cast<uint64_t>(size.QuadPart));
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) _close(fd_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept : fd_(other.fd_), size_(other.size_) { other.fd_ = -1; }

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) _close(fd_);
    fd_ = other.fd_;
    size_ = other.size_;
    other.fd_ = -1;
  }
  return *this;
}

std::optional<size_t> RegularFile::read(void* into, size_t count) {
  const int got = _read(fd_, into, static_cast<unsigned>(count < INT_MAX ? count : INT_MAX));
  if (got < 0) return std::nullopt;
  return static_cast<size_t>(got);
}

// A positioned read through the handle. Unlike pread it also moves the
// handle's own position, so a caller that mixes it with read() must not
// rely on where read() goes on from; none does.
bool RegularFile::readAt(uint64_t offset, void* into, size_t count) const {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
  auto* out = static_cast<char*>(into);
  for (size_t done = 0; done < count;) {
    const uint64_t at = offset + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const size_t left = count - done;
    DWORD got = 0;
    if (!ReadFile(handle, out + done, static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30)), &got, &where) ||
        got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

int RegularFile::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool RegularFile::outlivesItsName() { return false; }

}  // namespace vh
