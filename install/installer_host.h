// What the installer asks of whoever runs it, beyond messages and debug
// lines (common/report.h): the folder chooser when the registry does not
// know the game, and lines on standard output and standard error. The
// program's desktop is the host; tests hand in one that records.
#pragma once

#include <cstdio>
#include <string>

namespace vh {

class InstallerHost {
 public:
  virtual ~InstallerHost() = default;

  // The chosen folder, possibly with backslashes or a trailing separator;
  // "" when the user cancels.
  virtual std::string chooseFolder(const std::string& prompt, const std::string& initialFolder) = 0;
  // One line on standard output, flushed at once.
  virtual void printLine(const std::string& text) = 0;
  // One line on standard error, flushed at once: for the few reports that
  // must reach a script or a terminal without a window to dismiss.
  virtual void printErrorLine(const std::string& text) = 0;
};

// Lines to the standard streams, and a folder chooser that cancels: there
// is no one to ask. The toolkit's host.
class StandardStreamsHost : public InstallerHost {
 public:
  std::string chooseFolder(const std::string&, const std::string&) override { return ""; }
  void printLine(const std::string& text) override { print(stdout, text); }
  void printErrorLine(const std::string& text) override { print(stderr, text); }

 private:
  static void print(std::FILE* to, const std::string& text);
};

}  // namespace vh
