// How code below the application reports: a message for the person at the
// machine and a diagnostic line, through the Reporter it is handed; and the
// two ways a flow leaves the process, raised as exceptions that the
// program's entry turns into an exit status.
//
// Parsers and formats never talk to a window system or end the process
// themselves. The program's main hands its desktop down as the reporter, so
// a message reaches the same message box whichever layer issues it; tests
// and tools hand in their own.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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

// Messages on standard error, debug lines dropped: for the toolkit, which
// has no window, and wherever nobody is at the machine.
class StandardErrorReporter : public Reporter {
 public:
  void messageBox(const std::string& text) override;
  void debugLog(const std::string&) override {}
};

// Messages and debug lines held, in order, to be said later through
// another reporter: what a helper thread found, said by the thread that
// shows messages once it takes the helper's work.
class HeldReport : public Reporter {
 public:
  void messageBox(const std::string& text) override { lines_.push_back({true, text}); }
  void debugLog(const std::string& text) override { lines_.push_back({false, text}); }
  // Says every line held to `report`, and forgets them.
  void sayTo(Reporter& report);

 private:
  std::vector<std::pair<bool, std::string>> lines_;  // true: a message
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
