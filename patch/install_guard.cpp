#include "patch/install_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace vh {

std::unique_ptr<GameFolderLock> GameFolderLock::take(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::unique_ptr<GameFolderLock>(new GameFolderLock(-1));
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    if (held) return nullptr;
    return std::unique_ptr<GameFolderLock>(new GameFolderLock(-1));
  }
  return std::unique_ptr<GameFolderLock>(new GameFolderLock(fd));
}

GameFolderLock::~GameFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

HeldSignals::HeldSignals() {
  sigemptyset(&held_);
  sigaddset(&held_, SIGINT);
  sigaddset(&held_, SIGTERM);
  sigaddset(&held_, SIGHUP);
  sigprocmask(SIG_BLOCK, &held_, &previous_);
}

HeldSignals::~HeldSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

bool HeldSignals::arrived() {
  const timespec now{0, 0};
  while (sigtimedwait(&held_, nullptr, &now) >= 0) arrived_ = true;
  return arrived_;
}

}  // namespace vh
