// What keeps an installation from harming the game folder while it writes:
// one installation per game folder at a time, and the signals that would end
// the process turned into a request to stop between files.
#pragma once

#include <signal.h>

#include <iterator>
#include <memory>
#include <string>

#include "common/stop_signals.h"

namespace vh {

// An advisory lock on the game folder itself, so that nothing has to be
// created in it; the kernel drops the lock with the process, however the
// process ends, so a killed installation never blocks the next one.
class GameFolderLock {
 public:
  // Null when another process holds the lock. A folder that cannot be
  // locked at all (no such support) gives a lock that holds nothing.
  [[nodiscard]] static std::unique_ptr<GameFolderLock> take(const std::string& folder);
  ~GameFolderLock();
  GameFolderLock(const GameFolderLock&) = delete;
  GameFolderLock& operator=(const GameFolderLock&) = delete;

 private:
  explicit GameFolderLock(int fd) : fd_(fd) {}
  int fd_;
};

// For its life SIGINT, SIGTERM and SIGHUP no longer end the process: they
// are noted, and the installation asks for them where it may stop, between
// files. Nothing holds them back while a file is read, so a read that one
// interrupts fails at once (the run then stops where it stands) instead of
// keeping the process deaf; only a new file being written holds them until
// its rename (LocalFileSystem::create). One that comes after the last question is
// delivered as usual when the object goes. One at a time.
class HeldSignals {
 public:
  HeldSignals();
  ~HeldSignals();
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

  // True once one of the signals has come; it is taken, not delivered.
  bool arrived();

 private:
  struct sigaction previous_[std::size(kStopSignals)];
  int seen_ = 0;  // signals counted at the last question
  bool arrived_ = false;
};

}  // namespace vh
