// How code below the application reports: a message for the person at the
// machine and a diagnostic line, both through the reporter installed for the
// moment; and the two ways a flow leaves the process, raised as exceptions
// that the program's entry turns into an exit status.
//
// Parsers and formats never talk to a window system or end the process
// themselves. The application installs its desktop as the reporter, so a
// message reaches the same message box whichever layer issues it; tests and
// tools install their own.
#pragma once

#include <stdexcept>
#include <string>

namespace vh {

class Reporter {
 public:
  virtual ~Reporter() = default;

  // Shown to the user; returns only once it has been seen, so messages
  // appear one after another in the order they were issued.
  virtual void messageBox(const std::string& text) = 0;
  // Diagnostic only; may be discarded.
  virtual void debugLog(const std::string& text) = 0;
};

// The reporter in use. Until one is installed, messages go to standard error
// and debug lines are dropped.
Reporter& reporter();
// The reporter installed, null when the default serves.
Reporter* installedReporter();
// Installs `r` (not owned) and returns the one it replaces; null restores
// the default.
Reporter* setReporter(Reporter* r);

// Installs a reporter for the life of a scope, then puts the old one back.
class ScopedReporter {
 public:
  explicit ScopedReporter(Reporter& r) : previous_(setReporter(&r)) {}
  ~ScopedReporter() { setReporter(previous_); }
  ScopedReporter(const ScopedReporter&) = delete;
  ScopedReporter& operator=(const ScopedReporter&) = delete;

 private:
  Reporter* previous_;
};

// An error nothing inside the program handles: the entry writes its text to
// standard output and ends the process with exit status -1.
class FatalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An orderly end of the process from deep inside a flow. Deliberately not a
// std::exception, so that no handler for ordinary errors swallows it.
struct ProcessExit {
  int status;
};

[[noreturn]] void fatalError(const std::string& text);
[[noreturn]] void endProcess(int status);

}  // namespace vh
