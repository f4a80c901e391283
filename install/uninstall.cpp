#include "install/uninstall.h"

#include <string>

#include "common/report.h"
#include "install/install_guard.h"
#include "install/installer_host.h"
#include "install/patcher.h"

namespace vh {

int uninstallGame(tPatcher& patcher, GameBackup::PutBack* putBack) {
  const auto lock = patcher.lockGame();
  if (!lock) return 1;
  const Services& services = patcher.services();
  const std::string root = patcher.gameRoot;
  GameBackup backup(services.report, services.files, root);
  if (!backup.load()) return 1;
  // A manifest alone, what an uninstallation killed at its very end leaves,
  // goes like any other backup: every file it names is back already.
  if (!backup.found()) {
    services.report.messageBox("nothing to uninstall: no backup in:" + root);
    return 1;
  }
  HeldSignals signals;
  const int restored = backup.restoreAll([&signals] { return signals.arrived(); });
  // A signal after the last file came too late to stop anything: taken
  // here, it does not end the process before its summary.
  signals.arrived();
  if (const size_t stopped = backup.putBack().stopped) {
    services.host.printErrorLine("uninstall stopped with " + std::to_string(stopped) +
                                 " file(s) still to put back; run \"vhpatch uninstall\" again to finish");
  }
  if (putBack) *putBack = backup.putBack();
  return restored ? 0 : 1;
}

}  // namespace vh
