// vhpatch: installs the translation package beside it into the game, or,
// with "make" or "makeandapply", builds that package from the working tree.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/console.h"
#include "app/desktop.h"
#include "app/entry.h"
#include "app/gui/built_in_pictures.h"
#include "app/gui/installer_windows.h"
#include "app/gui/windowed_desktop.h"
#include "app/run_modes.h"
#include "app/terminal_desktop.h"
#include "app/terminal_shell.h"
#include "support/registry_platform.h"
#include "support/wine_prefixes.h"
#include "vh_commit.h"
#include "vh_version.h"
#include "xmg/codec_level.h"

int main(int argc, char** argv) {
  vh::prepareConsole();
  // The version is printed before any folder, display or package is
  // touched; like a request for help, whatever follows it, it never
  // installs anything.
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vhpatch %s (%s)\n", vh::kVersion, vh::kCommit);
    return 0;
  }
  // Whatever follows it, a request for help never installs anything.
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(vh::helpText().c_str(), stdout);
    return 0;
  }
  // Before anything else: every relative path of the program means a path
  // beside the program file.
  const bool entered = vh::enterProgramFolder();
  vh::registerBuiltInPictures();
  const vh::Environment environment = vh::readEnvironment();
#ifndef _WIN32
  // The game is found through the registry of this user's Wine prefix.
  vh::WineRegistry registry(environment.winePrefix);
  vh::setRegistryPlatform(&registry);
#endif
  vh::setHomeFolder(environment.home);

  // Windows when a display can be opened, the terminal otherwise.
  vh::TerminalDesktop terminal(stdin, stdout, stderr, environment.debug);
  std::unique_ptr<vh::Desktop> windowed;
  std::unique_ptr<vh::InstallerShell> shell;
  if (!environment.terminalUi && vh::WindowedDesktop::openDisplay()) {
    windowed = std::make_unique<vh::WindowedDesktop>(environment.debug);
    shell = std::make_unique<vh::WindowedShell>();
  } else {
    shell = std::make_unique<vh::TerminalShell>(terminal);
  }
  vh::ScopedDesktop installed(windowed ? *windowed : terminal);

  return vh::runGuarded([&] {
    char cwd[PATH_MAX] = "";
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
    vh::desktop().debugLog(std::string(entered ? "working folder: " : "cannot enter the program's folder; working folder: ") + cwd);
    vh::desktop().debugLog(windowed ? "desktop: windows" : "desktop: terminal");
    const vh::CodecLevelChoice codec = vh::useRequestedCodecLevel(environment.codecLevel);
    if (!codec.note.empty()) vh::desktop().debugLog(codec.note);
    vh::desktop().debugLog("codec level: " + std::string(vh::codecLevelName(codec.level)));
    const std::string word = vh::modeWord(argc, argv);
    vh::desktop().debugLog("mode word: \"" + word + "\"");
    return vh::runMode(vh::modeFromWord(word), *shell);
  });
}
