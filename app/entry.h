// Start-up of the installer program: its folder, its mode word, and the
// guard that turns fatal errors and orderly ends into exit statuses.
#pragma once

#include <functional>
#include <string>

namespace vh {

class InstallerHost;

enum class RunMode { Default, Make, MakeAndApply, Uninstall };

// What the program takes from its environment, read once at its start and
// handed to the parts that need it.
struct Environment {
  bool terminalUi = false;  // VHPATCH_UI=terminal: no windows even with a display
  bool debug = false;       // VHPATCH_DEBUG=1: debug lines on standard error
  std::string winePrefix;   // where the game's registry and drive letters live
  std::string home;         // HOME: where the other Wine prefixes are searched, and what "~" means
  std::string codecLevel;   // VHPATCH_CODEC_LEVEL: the image codec's copy to run, empty for the processor's best
};
Environment readEnvironment();

// What `vhpatch --help` prints: the modes, the environment variables the
// program reads and its exit statuses.
std::string helpText();

// The mode word is the first argument lower-cased (A-Z only); arguments
// after it are ignored.
std::string modeWord(int argc, const char* const* argv);
RunMode modeFromWord(const std::string& word);

// The folder that holds the running program file, from the real executable
// path (not argv[0], which may be relative or a link), with a trailing "/".
std::string programFolder();
// Makes the program's folder the working directory, so that "patch.dat" and
// the working tree are found beside the program wherever it was started.
bool enterProgramFolder();

// Runs `body` and returns its status; a FatalError or any other unhandled
// error writes its text to `host`'s standard output and gives -1, an orderly end
// from deep inside gives its own status.
int runGuarded(InstallerHost& host, const std::function<int()>& body);

}  // namespace vh
