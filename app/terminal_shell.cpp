#include "app/terminal_shell.h"

#include <string>

#include "app/v_patcher.h"

namespace vh {

void TerminalShell::build(bool, vPatcher& patcher) {
  // The terminal desktop draws both bars itself from showProgress.
  patcher.setProgBar(nullptr, nullptr);
}

void TerminalShell::setButtons(bool installEnabled, bool) { installEnabled_ = installEnabled; }

int TerminalShell::runEventLoop(const std::function<void()>& install) {
  terminal_.note("Press Enter to install the translation; end the input (Ctrl-D) to quit.");
  std::string line;
  while (terminal_.readLine(line)) {
    if (installEnabled_) install();
  }
  terminal_.endProgress();
  return 0;
}

}  // namespace vh
