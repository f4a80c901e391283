// The three flows of the installer program, chosen by the mode word:
// "make" builds patch.dat from the working tree; "makeandapply" builds it and
// installs it at once; "uninstall" puts the game back from its backup;
// anything else loads it and waits for the user.
#pragma once

#include "app/entry.h"

namespace vh {

class Desktop;
class InstallerShell;
struct Services;

// Runs the flow of `mode` in the working directory and returns the exit
// status of an orderly end. Raises FatalError when patch.dat cannot load.
// Everything goes through `services`; `desktop` is their reporter and host,
// and shows the progress.
int runMode(RunMode mode, InstallerShell& shell, const Services& services, Desktop& desktop);

}  // namespace vh
