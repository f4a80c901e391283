// What keeps an installation from harming the game folder while it writes:
// one installation per game folder at a time, and the signals that would end
// the process held back until the file being written is whole.
#pragma once

#include <signal.h>

#include <memory>
#include <string>

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

// Holds SIGINT, SIGTERM and SIGHUP back for its life, so that they reach the
// installation only where it asks for them, between files. One that comes
// later than the last question is delivered as usual when the object goes.
class HeldSignals {
 public:
  HeldSignals();
  ~HeldSignals();
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

  // True once one of the signals has come; it is taken, not delivered.
  bool arrived();

 private:
  sigset_t held_;
  sigset_t previous_;
  bool arrived_ = false;
};

}  // namespace vh
