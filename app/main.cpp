// vhpatch: installs the translation package beside it into the game, or,
// with "make" or "makeandapply", builds that package from the working tree.
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "app/console.h"
#include "app/desktop.h"
#include "app/entry.h"
#include "app/gui/built_in_pictures.h"
#include "app/gui/installer_windows.h"
#include "app/gui/windowed_desktop.h"
#include "app/run_modes.h"
#include "app/terminal_desktop.h"
#include "app/terminal_shell.h"
#include "common/large_blocks.h"
#include "common/local_file_system.h"
#include "common/process_text.h"
#include "common/program_path.h"
#include "install/services.h"
#include "support/registry.h"
#include "support/registry_platform.h"
#include "vh_commit.h"
#include "vh_version.h"
#include "xmg/codec_level.h"

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // An installation reads, changes and writes one archive after another in
  // buffers of a few hundred KiB to a few MiB, and a build reads and packs
  // member after member. glibc maps each buffer that large afresh and
  // unmaps it once freed, so every archive would pay again for the kernel
  // to zero its pages (a fifth of an installation's processor time). Kept
  // in the heap, freed buffers serve the next archive; the peak stays what
  // the largest archive needs. One heap for every thread, so that the
  // installation's helper thread reuses what the installation's own thread
  // freed rather than keeping a high-water mark of its own (a build's
  // workers contend little for it: they allocate once per member).
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_ARENA_MAX, 1);
  // A build touches some megabytes of fresh heap and an installation tens;
  // where the system hands out 4 KiB pages each first touch is a fault
  // (some 600 in a build after one change), and on a virtual machine
  // without nested paging each costs some 10 µs.
  vh::heapInLargePages(std::size_t{16} << 20);
#endif
  vh::prepareConsole();
  // As UTF-8, whatever the system's code page (on Windows from the wide
  // command line: argv has lost what the code page cannot hold).
  const std::vector<std::string> arguments = vh::utf8Arguments(argc, argv);
  std::vector<const char*> argumentTexts;
  for (const std::string& argument : arguments) argumentTexts.push_back(argument.c_str());
  const int count = static_cast<int>(argumentTexts.size());
  // The version is printed before any folder, display or package is
  // touched; like a request for help, whatever follows it, it never
  // installs anything.
  if (count >= 2 && arguments[1] == "--version") {
    std::printf("vhpatch %s (%s)\n", vh::kVersion, vh::kCommit);
    return 0;
  }
  // Whatever follows it, a request for help never installs anything.
  if (count >= 2 && (arguments[1] == "--help" || arguments[1] == "-h")) {
    std::fputs(vh::helpText().c_str(), stdout);
    return 0;
  }
  // Before anything else: every relative path of the program means a path
  // beside the program file.
  const bool entered = vh::enterProgramFolder();
  vh::registerBuiltInPictures();
  const vh::Environment environment = vh::readEnvironment();
  // What every part of the program reads, writes, asks and reports
  // through, built here once and handed down. The game is found through the
  // registry of this user (off Windows, of their Wine prefix); the registry
  // calls whose signatures are fixed reach it through the one name set here.
  vh::LocalFileSystem files;
  const std::unique_ptr<vh::RegistryPlatform> registry = vh::userRegistry(files, environment.winePrefix);
  vh::setProgramRegistry(*registry);

  // Windows when a display can be opened, the terminal otherwise.
  vh::TerminalDesktop terminal(stdin, stdout, stderr, environment.debug);
  std::unique_ptr<vh::Desktop> windowed;
  std::unique_ptr<vh::InstallerShell> shell;
  if (!environment.terminalUi && vh::WindowedDesktop::openDisplay()) {
    windowed = std::make_unique<vh::WindowedDesktop>(environment.debug);
    // The debugging lines go to the console, which then stays.
    if (!environment.debug) vh::releaseOwnConsole();
    shell = std::make_unique<vh::WindowedShell>();
  } else {
    shell = std::make_unique<vh::TerminalShell>(terminal);
  }
  vh::Desktop& desktop = windowed ? *windowed : terminal;
  const vh::Services services{desktop, desktop, files, *registry, environment.home};

  return vh::runGuarded(desktop, [&] {
    desktop.debugLog(std::string(entered ? "working folder: " : "cannot enter the program's folder; working folder: ") +
                     vh::workingFolder());
    desktop.debugLog(windowed ? "desktop: windows" : "desktop: terminal");
    const vh::CodecLevelChoice codec = vh::useRequestedCodecLevel(environment.codecLevel);
    if (!codec.note.empty()) desktop.debugLog(codec.note);
    desktop.debugLog("codec level: " + std::string(vh::codecLevelName(codec.level)));
    const std::string word = vh::modeWord(count, argumentTexts.data());
    desktop.debugLog("mode word: \"" + word + "\"");
    return vh::runMode(vh::modeFromWord(word), *shell, services, desktop);
  });
}
