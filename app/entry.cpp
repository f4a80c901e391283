#include "app/entry.h"

#include <exception>

#include "app/desktop.h"
#include "common/bytes.h"
#include "common/process_text.h"
#include "common/program_path.h"
#include "support/registry_platform.h"

namespace vh {

namespace {

bool variableIs(const std::string& name, const std::string& value) {
  const auto set = environmentValue(name);
  return set && *set == value;
}

}  // namespace

Environment readEnvironment() {
  Environment environment;
  environment.terminalUi = variableIs("VHPATCH_UI", "terminal");
  environment.debug = variableIs("VHPATCH_DEBUG", "1");
  const auto prefix = environmentValue("WINEPREFIX");
  const auto home = environmentValue("HOME");
  environment.winePrefix = winePrefixOf(prefix ? prefix->c_str() : nullptr, home ? home->c_str() : nullptr);
  environment.home = home.value_or("");
  environment.codecLevel = environmentValue("VHPATCH_CODEC_LEVEL").value_or("");
  return environment;
}

std::string helpText() {
  return R"(Usage: vhpatch [make | makeandapply | uninstall]
       vhpatch --help | -h | --version

Installs the Simplified Chinese translation in patch.dat, beside this
program, into Varnhollow. The game folder is read from the game's registry
key in the Wine prefix; when it is not there, the program asks for it.

Modes (the first argument, in any letter case):
  (none)        load patch.dat and show the installer; install with its
                button, or in a terminal with Enter once it has named the
                game folder it found (Ctrl-D quits)
  make          build patch.dat from the working tree beside the program
                (data/, trans/, extra/, addon/)
  makeandapply  build patch.dat, then install it at once
  uninstall     put every game file back as it was before the translation,
                from the backup in the game folder (.vhpatch-backup/);
                patch.dat is not read
  Any other first argument starts the installer as with none.

Environment:
  VHPATCH_UI=terminal  use the terminal even where windows can be opened
  VHPATCH_DEBUG=1      write debug lines to standard error
  VHPATCH_CODEC_LEVEL  baseline, v2, v3 or v4: the processor level whose
                       copy of the image codec runs (default: the highest
                       this processor has); the images are the same
  WINEPREFIX           the Wine prefix whose registry names the game folder
                       and whose drive letters it uses (default: ~/.wine)
  HOME                 the home folder, where ~/.wine is looked for
  DISPLAY              the display for the windows; without one the
                       terminal is used

Exit status:
  0    done
  1    a failure the program reported; nothing was lost
  255  a fatal error, such as a patch.dat that cannot be loaded
)";
}

std::string modeWord(int argc, const char* const* argv) {
  if (argc < 2 || !argv[1]) return "";
  return lowerCase(argv[1]);
}

RunMode modeFromWord(const std::string& word) {
  if (word == "make") return RunMode::Make;
  if (word == "makeandapply") return RunMode::MakeAndApply;
  if (word == "uninstall") return RunMode::Uninstall;
  return RunMode::Default;
}

std::string programFolder() {
  const std::string path = programPath();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool enterProgramFolder() {
  return enterFolder(programFolder());
}

int runGuarded(InstallerHost& host, const std::function<int()>& body) {
  try {
    return body();
  } catch (const ProcessExit& exit) {
    return exit.status;
  } catch (const std::exception& error) {
    host.printLine(error.what());
    return -1;
  }
}

}  // namespace vh
