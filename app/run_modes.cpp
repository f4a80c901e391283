#include "app/run_modes.h"

#include "app/desktop.h"

namespace vh {

int runMode(RunMode mode) {
  switch (mode) {
    case RunMode::Make:
      fatalError("make: building patch.dat is not available in this build (the package builder is missing)");
    case RunMode::MakeAndApply:
      fatalError("makeandapply: building and installing is not available in this build (the package builder is missing)");
    case RunMode::Default:
      break;
  }
  fatalError("installing patch.dat is not available in this build (the package reader is missing)");
}

}  // namespace vh
