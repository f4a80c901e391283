// The regular-file reader over POSIX descriptors: opened without blocking,
// so that a pipe or a device is refused instead of waited on.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/bytes.h"
#include "common/files.h"

namespace vh {

std::optional<RegularFile> RegularFile::open(const std::string& path) {
  const int fd = ::open(toSlashes(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  // Of the flags F_SETFL sets, the file was opened with O_NONBLOCK alone:
  // setting none clears it, without asking for them first.
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return RegularFile(fd, static_cast<uint64_t>(info.st_size));
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept : fd_(other.fd_), size_(other.size_) { other.fd_ = -1; }

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    size_ = other.size_;
    other.fd_ = -1;
  }
  return *this;
}

std::optional<size_t> RegularFile::read(void* into, size_t count) {
  const ssize_t got = ::read(fd_, into, count);
  if (got < 0) return std::nullopt;
  return static_cast<size_t>(got);
}

bool RegularFile::readAt(uint64_t offset, void* into, size_t count) const {
  auto* out = static_cast<char*>(into);
  for (size_t done = 0; done < count;) {
    const ssize_t got = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

int RegularFile::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool RegularFile::outlivesItsName() { return true; }

}  // namespace vh
