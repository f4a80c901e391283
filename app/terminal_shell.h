// The installer on a text console: Enter stands for the install button and
// the end of input for the window's close box; progress goes to the
// desktop's bars. The game is looked for before the player is asked, so
// that the question names the folder the translation goes into.
#pragma once

#include <string>

#include "app/installer_shell.h"
#include "app/terminal_desktop.h"

namespace vh {

class TerminalShell : public InstallerShell {
 public:
  explicit TerminalShell(TerminalDesktop& terminal) : terminal_(terminal) {}
  void build(bool applyNow, vPatcher& patcher) override;
  void setButtons(bool installEnabled, bool aboutEnabled) override;
  // Finds the game first (asking for it when no registry knows it); a game
  // that cannot be found ends the loop with status 1 before any question.
  int runEventLoop(const std::function<void()>& install) override;
  // On standard error, after the bars, where a terminal installation's
  // messages go.
  void summarize(const std::string& line) override { terminal_.note(line); }

 private:
  TerminalDesktop& terminal_;
  vPatcher* patcher_ = nullptr;
  bool installEnabled_ = true;
};

}  // namespace vh
