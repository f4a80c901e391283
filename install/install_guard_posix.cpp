#include "install/install_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "common/stop_signals.h"

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

namespace {

// What the handler may touch: the signal and how many have come.
volatile sig_atomic_t lastSignal = 0;
volatile sig_atomic_t signalCount = 0;

void noteSignal(int signal) {
  lastSignal = signal;
  signalCount = signalCount + 1;
}

}  // namespace

struct HeldSignals::Saved {
  struct sigaction previous[std::size(kStopSignals)];
};

HeldSignals::HeldSignals() : saved_(std::make_unique<Saved>()) {
  lastSignal = 0;
  signalCount = 0;
  struct sigaction noted {};
  noted.sa_handler = noteSignal;
  sigemptyset(&noted.sa_mask);
  for (const int signal : kStopSignals) sigaddset(&noted.sa_mask, signal);
  // No SA_RESTART: a slow read that a signal interrupts gives up, and the
  // installation hears the stop at once.
  noted.sa_flags = 0;
  for (size_t k = 0; k < std::size(kStopSignals); ++k) sigaction(kStopSignals[k], &noted, &saved_->previous[k]);
}

HeldSignals::~HeldSignals() {
  for (size_t k = 0; k < std::size(kStopSignals); ++k) sigaction(kStopSignals[k], &saved_->previous[k], nullptr);
  if (static_cast<uint64_t>(signalCount) > seen_) raise(lastSignal);
}

bool HeldSignals::arrived() {
  // The installation's files wait for their renames on another thread while
  // this one writes the next: one that this thread still holds back would
  // otherwise go unheard until they are put in place.
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : kStopSignals) sigaddset(&stops, signal);
  const timespec now{};
  for (int signal; (signal = sigtimedwait(&stops, nullptr, &now)) > 0;) noteSignal(signal);
  seen_ = static_cast<uint64_t>(signalCount);
  arrived_ = arrived_ || seen_ > 0;
  return arrived_;
}

void keepStopsFromThisThread() {
  sigset_t stop;
  sigemptyset(&stop);
  for (const int signal : kStopSignals) sigaddset(&stop, signal);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
}

}  // namespace vh
