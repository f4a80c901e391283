// `vhpatch uninstall`: the installer's way back through the game's backup.
#pragma once

#include "backup/backup.h"

namespace vh {

class tPatcher;

// Finds the game as the installer does, takes the installation lock and
// restores every file of the backup, with SIGINT, SIGTERM and SIGHUP taken
// only between files. The exit status; `putBack`, when given, receives what
// was done.
int uninstallGame(tPatcher& patcher, GameBackup::PutBack* putBack = nullptr);

}  // namespace vh
