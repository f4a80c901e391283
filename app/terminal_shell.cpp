#include "app/terminal_shell.h"

#include <string>

#include "app/v_patcher.h"
#include "install/game_search.h"

namespace vh {

namespace {

// The question that waits for Enter: the game folder and, when a registry
// named it, the Wine prefix it was found in.
std::string installQuestion(const FoundGame& game) {
  std::string question = "Press Enter to install the translation into " + game.shown;
  if (!game.prefix.empty()) question += " (found in the Wine prefix " + game.prefix + ")";
  return question + "; end the input (Ctrl-D) to quit.";
}

}  // namespace

void TerminalShell::build(bool, vPatcher& patcher) {
  // The terminal desktop draws both bars itself from showProgress.
  patcher.setProgBar(nullptr, nullptr);
  patcher_ = &patcher;
}

void TerminalShell::setButtons(bool installEnabled, bool) { installEnabled_ = installEnabled; }

int TerminalShell::runEventLoop(const std::function<void()>& install) {
  // build() handed over the patcher. A game that cannot be found has no
  // folder to name, and Enter could not install it.
  if (!patcher_ || !patcher_->validateInstall()) {
    terminal_.messageBox(kGameNotFound);
    return 1;
  }
  terminal_.note(installQuestion(patcher_->gameFound()));
  std::string line;
  while (terminal_.readLine(line)) {
    if (installEnabled_) install();
  }
  terminal_.endProgress();
  return 0;
}

}  // namespace vh
