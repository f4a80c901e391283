#include "app/run_modes.h"

#include <optional>

#include "app/desktop.h"
#include "app/installer_shell.h"
#include "app/v_patcher.h"
#include "builder/patch_maker.h"
#include "common/file_system.h"
#include "install/uninstall.h"

namespace vh {

namespace {

constexpr const char* kPackage = "patch.dat";

std::string counted(size_t n, const std::string& thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string installSummary(const tPatcher& patcher) {
  FileSystem& files = patcher.services().files;
  const auto& written = patcher.written();
  std::string line = "installed: " + counted(written.archives, "archive") + " translated, " +
                     counted(written.extras, "extra file") + " copied";
  // After an earlier installation most files may already be as the package
  // wants them; "0 archives translated" alone would read as a failure.
  if (written.upToDate) line += ", " + counted(written.upToDate, "file") + " already up to date";
  // Such an archive keeps the game's own text: the player should know that
  // part of the game stays untranslated, and the debug log is not for
  // players.
  if (written.untranslated) {
    line += ", " + counted(written.untranslated, "archive") + " left untranslated (member table cut short)";
  }
  line += "; ";
  // A package that changed nothing leaves no backup, and nothing to undo.
  const std::string backup = patcher.gameRoot + kBackupFolder;
  if (files.status(backup).kind == FileKind::Folder) return line + "backup in " + backup + ", undo with \"vhpatch uninstall\"";
  return line + "the game is unchanged, nothing to undo";
}

// The game is called as it was only when every file came back.
std::string uninstallSummary(const tPatcher& patcher, const GameBackup::PutBack& putBack, bool whole) {
  const std::string line = "uninstalled: " + counted(putBack.rebuilt, "original") + " put back, " +
                           counted(putBack.removed, "added file") + " removed";
  if (whole) return line + "; " + patcher.gameRoot + " is as it was before the translation";
  return line + ", " + counted(putBack.left, "file") + " not put back; " + patcher.gameRoot +
         " is not as it was before the translation (what is left is kept in " + patcher.gameRoot + kBackupFolder + ")";
}

}  // namespace

int runMode(RunMode mode, InstallerShell& shell, const Services& services, Desktop& desktop) {
  // Undoing needs neither the package nor the installer's window.
  if (mode == RunMode::Uninstall) {
    vPatcher patcher(services, desktop);
    GameBackup::PutBack putBack;
    const int status = uninstallGame(patcher, &putBack);
    if (status == 0) desktop.messageBox("Uninstall done!");
    if (putBack.tried) shell.summarize(uninstallSummary(patcher, putBack, status == 0));
    return status;
  }
  if (mode == RunMode::Make) {
    desktop.printLine("packing patch");
    // A failed build has shown its own message and kept the old package.
    if (!tPatchMaker(services).Create(kPackage)) return 1;
    desktop.messageBox("Patch gerenating is done!");
    return 0;
  }
  vPatcher patcher(services, desktop);
  const bool applyNow = mode == RunMode::MakeAndApply;
  // The maker stays until the installation is done: it lets go of the
  // package it replaced meanwhile.
  std::optional<tPatchMaker> maker;
  // Installing a package the build failed to replace would install stale
  // data the user did not ask for. The game's backup is read while the
  // package is built and loaded.
  if (applyNow) {
    patcher.prepareGame();
    if (!maker.emplace(services).Create(kPackage)) return 1;
  }

  // The extra files of a package just built are checked while the
  // installation that follows plans; a stream the build knows it wrote
  // whole, by its stored bytes.
  if (!patcher.loadPatch(kPackage, applyNow, maker ? maker->writtenStreams() : KnownStreams{})) {
    fatalError(std::string("error in reading patch:") + kPackage);
  }
  shell.build(applyNow, patcher);
  // A failed installation has shown its own messages; the status tells a
  // script or a package manager that it failed.
  if (applyNow) {
    shell.setButtons(false, false);
    if (!patcher.doReplace()) return 1;
    desktop.messageBox("data written");
    shell.summarize(installSummary(patcher));
    return 0;
  }
  // One installation per process: the install button stays disabled after
  // it, whatever its outcome; About comes back, and the window stays until
  // it is closed. Only a signal ends the process at once.
  bool failed = false;
  const int closed = shell.runEventLoop([&] {
    shell.setButtons(false, false);
    if (patcher.doReplace()) {
      desktop.messageBox("Done!");
      shell.summarize(installSummary(patcher));
    } else {
      if (patcher.stopped()) endProcess(1);
      failed = true;
    }
    shell.setButtons(false, true);
  });
  return failed ? 1 : closed;
}

}  // namespace vh
