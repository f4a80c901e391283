// vhpatch: installs the translation package beside it into the game, or,
// with "make" or "makeandapply", builds that package from the working tree.
#include <unistd.h>

#include <climits>
#include <string>

#include "app/desktop.h"
#include "app/entry.h"
#include "app/run_modes.h"
#include "app/terminal_desktop.h"
#include "app/terminal_shell.h"

int main(int argc, char** argv) {
  // Before anything else: every relative path of the program means a path
  // beside the program file.
  const bool entered = vh::enterProgramFolder();
  vh::TerminalDesktop terminal;
  vh::ScopedDesktop installed(terminal);
  vh::TerminalShell shell(terminal);
  return vh::runGuarded([&] {
    char cwd[PATH_MAX] = "";
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
    vh::desktop().debugLog(std::string(entered ? "working folder: " : "cannot enter the program's folder; working folder: ") + cwd);
    const std::string word = vh::modeWord(argc, argv);
    vh::desktop().debugLog("mode word: \"" + word + "\"");
    return vh::runMode(vh::modeFromWord(word), shell);
  });
}
