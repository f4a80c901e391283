// What keeps an installation from harming the game folder while it writes:
// one installation per game folder at a time, and the signals that would end
// the process turned into a request to stop between files.
//
// One implementation per platform: install_guard_posix.cpp (flock, signals)
// and install_guard_win32.cpp (LockFileEx, the console's control events).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vh {

// A lock on the game folder, which the system drops with the process,
// however the process ends, so a killed installation never blocks the next
// one. On Linux an advisory lock on the folder itself, so that nothing has
// to be created in it; on Windows, where a folder takes no lock, a byte of
// a hidden file in it that goes with its last handle.
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

// For its life SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl-C, Ctrl-Break,
// the console closed) no longer end the process: they
// are noted, and the installation asks for them where it may stop, between
// files. Nothing holds them back while a file is read, so a read that one
// interrupts fails at once (the run then stops where it stands) instead of
// keeping the process deaf; only a new file being written holds them until
// its rename (LocalFileSystem::create). One held back so is taken when the
// installation asks, as if it had come. One that comes after the last
// question is delivered as usual when the object goes. One at a time.
class HeldSignals {
 public:
  HeldSignals();
  ~HeldSignals();
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

  // True once one of the signals has come; it is taken, not delivered.
  bool arrived();

 private:
  // The handlers it replaced, where the platform has them.
  struct Saved;
  std::unique_ptr<Saved> saved_;
  uint64_t seen_ = 0;  // signals counted at the last question
  bool arrived_ = false;
};

// Keeps the stop signals away from the calling thread, a helper of the
// installation's, so that they always come to the installation's own
// thread, which holds them while it writes a file and asks for them
// between files. Nothing to do on Windows, whose console events come on a
// thread of their own.
void keepStopsFromThisThread();

}  // namespace vh
