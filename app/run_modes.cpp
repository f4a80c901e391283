#include "app/run_modes.h"

#include "app/desktop.h"
#include "app/installer_shell.h"
#include "app/v_patcher.h"
#include "patch/patch_maker.h"

namespace vh {

namespace {

constexpr const char* kPackage = "patch.dat";

}  // namespace

int runMode(RunMode mode, InstallerShell& shell) {
  if (mode == RunMode::Make) {
    desktop().printLine("packing patch");
    // A refused build has shown its message; the package stays as it was.
    if (!tPatchMaker().Create(kPackage)) return 1;
    desktop().messageBox("Patch gerenating is done!");
    return 0;
  }
  if (mode == RunMode::MakeAndApply && !tPatchMaker().Create(kPackage)) return 1;

  vPatcher patcher;
  if (!patcher.loadPatch(kPackage)) fatalError(std::string("error in reading patch:") + kPackage);
  const bool applyNow = mode == RunMode::MakeAndApply;
  shell.build(applyNow, patcher);
  if (applyNow) {
    shell.setButtons(false, false);
    if (patcher.doReplace()) desktop().messageBox("data written");
    return 0;
  }
  // One installation per process: the install button stays disabled after
  // it, whatever its outcome; About comes back.
  return shell.runEventLoop([&] {
    shell.setButtons(false, false);
    if (patcher.doReplace()) desktop().messageBox("Done!");
    shell.setButtons(false, true);
  });
}

}  // namespace vh
