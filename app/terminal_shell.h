// The installer on a text console: Enter stands for the install button and
// the end of input for the window's close box; progress goes to the
// desktop's bars.
#pragma once

#include "app/installer_shell.h"
#include "app/terminal_desktop.h"

namespace vh {

class TerminalShell : public InstallerShell {
 public:
  explicit TerminalShell(TerminalDesktop& terminal) : terminal_(terminal) {}
  void build(bool applyNow, vPatcher& patcher) override;
  void setButtons(bool installEnabled, bool aboutEnabled) override;
  int runEventLoop(const std::function<void()>& install) override;
  // On standard error, after the bars, where a terminal installation's
  // messages go.
  void summarize(const std::string& line) override { terminal_.note(line); }

 private:
  TerminalDesktop& terminal_;
  bool installEnabled_ = true;
};

}  // namespace vh
