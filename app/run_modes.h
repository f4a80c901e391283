// The three flows of the installer program, chosen by the mode word.
#pragma once

#include "app/entry.h"

namespace vh {

// Runs the flow of `mode` in the working directory and returns the exit
// status of an orderly end. Raises FatalError for what nothing handles.
int runMode(RunMode mode);

}  // namespace vh
