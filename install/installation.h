// One installation into a game folder, from the moment its lock is taken to
// its end: the lock, the backup it keeps, the signals it takes while it
// writes, its plan, and the folders of files renamed into place that still
// want their sync. The patcher owns it while doReplace runs.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "backup/backup.h"
#include "install/install_guard.h"
#include "install/install_plan.h"
#include "install/services.h"

namespace vh {

struct Installation {
  Installation(const Services& services, const std::string& gameRoot, std::unique_ptr<GameFolderLock> folderLock)
      : lock(std::move(folderLock)), backup(services.report, services.files, gameRoot) {}

  std::unique_ptr<GameFolderLock> lock;
  GameBackup backup;
  // Taken once everything is checked, just before the first file is
  // written; a stop before that ends the process as usual.
  std::optional<HeldSignals> signals;
  InstallPlan plan;
  // Folders of archives renamed into place and not yet synced.
  std::set<std::string> unsyncedFolders;
};

}  // namespace vh
