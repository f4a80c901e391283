// One installation into a game folder, from the moment its lock is taken to
// its end: the lock, the backup it keeps, the signals it takes while it
// writes, its plan, and the folders of files renamed into place that still
// want their sync. The patcher owns it while doReplace runs.
#pragma once

#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "install/install_guard.h"
#include "install/install_plan.h"
#include "install/patcher.h"
#include "install/services.h"
#include "install/worker_thread.h"

namespace vh {

struct Installation {
  Installation(const Services& services, const std::string& gameRoot, std::unique_ptr<GameFolderLock> folderLock)
      : lock(std::move(folderLock)), backup(services.report, services.files, gameRoot) {}

  std::unique_ptr<GameFolderLock> lock;
  GameBackup backup;
  // A backup read before the installation began (tPatcher::prepareGame):
  // the read's result, and what it said meanwhile, to be said when the
  // installation takes it. Declared after the backup and the lines, so
  // that a read still at work ends before they go.
  HeldReport loadReport;
  std::future<bool> loading;
  // The search for what a killed run left, started while the package
  // loaded (tPatcher::loadPatch) for a game locked before it.
  std::future<InstallLeftovers> sweeping;
  // Taken once everything is checked, just before the first file is
  // written; a stop before that ends the process as usual.
  std::optional<HeldSignals> signals;
  InstallPlan plan;
  // Archives renamed into place (relative to the game folder), each with
  // the folder its rename went into, not yet synced.
  std::map<std::string, std::string> unsyncedFolders;
  // The archives of the scene at work, whole in new files beside them, and
  // renamed into place only once the pieces files that rebuild their
  // originals are on disk (tPatcher::renameWaiting): one sync of the backup
  // folder per scene, or for several, rather than one per archive.
  struct Waiting {
    std::unique_ptr<NewFile> file;
    std::string relative;
    std::string scene;
  };
  std::vector<Waiting> waiting;
  // Whole scenes written and waiting to be handed to `placing`, with their
  // pieces files: while it puts the scenes before in place, the scenes
  // written meanwhile gather here and go together, one sync for them all.
  std::vector<Waiting> ready;
  std::vector<GameBackup::WaitingPieces> readyPieces;
  // The files handed to `placing`: their pieces files are put on disk and
  // in place, then their archives renamed, while the installation's thread
  // writes the next scenes. Only that thread touches them until
  // tPatcher::finishRenames has waited for it.
  struct Renames {
    std::vector<GameBackup::WaitingPieces> pieces;
    std::vector<Waiting> archives;
    // What the placing found: a game file (relative) whose pieces, or
    // whose own new file, could not be put in place; and, for each archive
    // renamed, the folder its rename went into and its stamp after it.
    std::string failedPieces, failedArchive, failedScene;
    struct Placed {
      std::string relative, folder;
      std::optional<FileStamp> stamp;
    };
    std::vector<Placed> placed;
    bool pending = false;
  };
  Renames renaming;
  // Declared after what they work on, so that each finishes its task
  // before that goes. `placing` puts the files handed to it in place
  // (above); `ahead` translates the next archive while this one is written.
  WorkerThread placing;
  WorkerThread ahead;
};

}  // namespace vh
