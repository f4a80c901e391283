#include "package/build_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace vh {

namespace {

// An installation may remove the file between its opening and its lock;
// the lock then holds a file no name leads to, and is taken again.
constexpr int kAttempts = 8;

// Whether `path` still names the file open as `fd`.
bool stillNamed(int fd, const std::string& path) {
  struct stat open {}, named {};
  return fstat(fd, &open) == 0 && stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

}  // namespace

std::unique_ptr<BuildLock> BuildLock::take(const std::string& path, const std::string& spare) {
  // Only onto a free name: a file there is another build's, or one a
  // killed build left, which serves as well. A link is no spare, nor a
  // file with another name (a copy of an old package kept as a hard link),
  // whose bytes the build would overwrite.
  struct stat info {};
  if (!spare.empty() && lstat(spare.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1) {
#ifndef RENAME_NOREPLACE
    constexpr unsigned RENAME_NOREPLACE = 1u << 0;
#endif
    (void)syscall(SYS_renameat2, AT_FDCWD, spare.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
  }
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return std::unique_ptr<BuildLock>(new BuildLock(-1));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool held = errno == EWOULDBLOCK;
      const bool named = stillNamed(fd, path);
      ::close(fd);
      if (held && named) return nullptr;
      if (held) continue;
      return std::unique_ptr<BuildLock>(new BuildLock(-1));
    }
    if (stillNamed(fd, path)) return std::unique_ptr<BuildLock>(new BuildLock(fd));
    ::close(fd);
  }
  return nullptr;
}

BuildLock::~BuildLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool removeUnheldBuilding(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // Held while the name is removed, so that a build starting now either
  // finds the name gone or fails to lock this file and tries again.
  const bool removed = flock(fd, LOCK_EX | LOCK_NB) == 0 && stillNamed(fd, path) && ::unlink(path.c_str()) == 0;
  ::close(fd);
  return removed;
}

}  // namespace vh
