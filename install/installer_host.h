// What the installer asks of whoever runs it, beyond messages and debug
// lines (common/report.h): the folder chooser when the registry does not
// know the game, and lines on standard output and standard error. The
// program's desktop is the host; tests install one that records.
#pragma once

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

// The host in use. Until one is installed, lines go to the standard streams
// and the folder chooser cancels: there is no one to ask.
InstallerHost& installerHost();
// The host installed, null when the default serves.
InstallerHost* installedInstallerHost();
// Installs `host` (not owned) and returns the one it replaces; null restores
// the default.
InstallerHost* setInstallerHost(InstallerHost* host);

}  // namespace vh
