// The desktop of a terminal, used when no display can be opened or when
// VHPATCH_UI=terminal: message boxes are lines on standard error, the folder
// chooser reads one line from standard input, and the debug log is written
// to standard error only when the program was asked for it (VHPATCH_DEBUG=1).
#pragma once

#include <cstdio>
#include <string>

#include "app/desktop.h"

namespace vh {

class TerminalDesktop : public Desktop {
 public:
  // Streams are parameters so that tests can hand in files of their own;
  // debug lines are written only with `debug`.
  TerminalDesktop(std::FILE* in = stdin, std::FILE* out = stdout, std::FILE* err = stderr, bool debug = false);

  void messageBox(const std::string& text) override;
  std::string chooseFolder(const std::string& prompt, const std::string& initialFolder) override;
  void printLine(const std::string& text) override;
  void printErrorLine(const std::string& text) override;
  void debugLog(const std::string& text) override;
  void showProgress(const Progress& progress) override;

  // A line for the person at the terminal, on standard error, so that
  // standard output keeps only the program's own lines.
  void note(const std::string& text);
  // One line from standard input; false at the end of input.
  bool readLine(std::string& line);
  // Ends the progress display, so that later lines start on their own line.
  void endProgress();

 private:
  void clearProgress();
  // The terminal's width on standard error; 80 when it does not say.
  size_t columns() const;

  std::FILE* in_;
  std::FILE* out_;
  std::FILE* err_;
  bool debug_;
  bool progressShown_ = false;
  bool progressAllowed_;
};

}  // namespace vh
