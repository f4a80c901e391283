// Installing a loaded patch package into the game: find the game folder,
// copy the extra files, then scene by scene and sub-scene by sub-scene open
// each archive, rewrite its record text, write the heroine's name into the
// "Global" scene and put the archive back. Progress is reported through four
// callbacks that the windowed subclass turns into its bars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/file_system.h"
#include "install/game_search.h"
#include "install/install_plan.h"
#include "install/services.h"
#include "support/known_stream.h"

namespace vh {

class GameBackup;
class GameFolderLock;
class Reporter;
class tPatch;
class tPatchScene;
class tSubScene;
class tXARC;
class tXRC;

inline constexpr const char* kGameKey = "HKEY_CURRENT_USER\\Software\\Lumeric\\Tessary";
inline constexpr const char* kGameValue = "root";
inline constexpr const char* kGameNotFound = "Cannot find Varnhollow installation.";
// The record of the scene "Global"'s own archive whose title the
// installation always sets to the heroine's Chinese name.
inline constexpr const char* kGlobalScene = "Global";
inline constexpr size_t kHeroineRecord = 4243;

// The heroine's Chinese name as the title of record kHeroineRecord, when it
// is the record it should be; any other table is left as it is.
void setHeroineName(tXRC& xrc);

// The changes of one sub-scene, made in memory on its opened archive: the
// scene's translation entries, the heroine's name in "Global" and the listed
// pictures. True, or false after its message to `report` when a picture's
// member is missing. The installer writes the archive afterwards; a preview
// does not.
bool applyToArchive(Reporter& report, const tPatchScene& scene, const tSubScene& sub, tXARC& archive);

struct Installation;

// Unfinished files a killed run left in the game folder: each folder with
// the names found in it.
using InstallLeftovers = std::vector<std::pair<std::string, std::vector<std::string>>>;

class tPatcher {
 public:
  // Everything it reads, writes, asks and reports goes through `services`,
  // which must outlive it.
  explicit tPatcher(const Services& services);
  virtual ~tPatcher();
  tPatcher(const tPatcher&) = delete;
  tPatcher& operator=(const tPatcher&) = delete;

  std::string gameRoot;  // ends in "/" once validateInstall has run
  std::shared_ptr<tPatch> patch;
  int32_t gameValid = 0;

  virtual int getRegPath();
  virtual int validateInstall();
  // The game folder found and locked for writing; null once the user has
  // been told why not (no game there, or another installation in it).
  [[nodiscard]] std::unique_ptr<GameFolderLock> lockGame();
  // For an installation that follows at once (a build and then its
  // installation): when the registry names one game folder, in the player's
  // own prefix, takes its lock and starts reading its backup on a thread of
  // its own, so that the build and the package's load go on meanwhile.
  // Nothing is asked or said here: a game not found so, or whose lock
  // another run holds, is looked for again by doReplace, which says why.
  void prepareGame();
  virtual int loadPatch(const std::string& url);
  // As loadPatch(url); with `extrasMeanwhile`, the extra files' check may
  // go on while the installation plans (for an installation that follows
  // at once), which takes its verdict before it writes. `known`: the
  // streams the build that has just written the package knows it wrote
  // (tPatch::openCheckingExtrasMeanwhile).
  int loadPatch(const std::string& url, bool extrasMeanwhile, KnownStreams known = {});
  virtual int replaceExtra();
  virtual int doReplace();
  virtual int replaceMirel(tXRC& xrc);
  virtual int replaceScene(tPatchScene& scene);
  virtual int replaceSceneByName(const std::string& name);
  virtual int onStartSub(tSubScene& sub);
  virtual int onStartScn(tPatchScene& scene);
  virtual int onCompleteSub(tSubScene& sub);
  virtual int onCompeleteScn(tPatchScene& scene);

  // Where validateInstall found the game: the folder as the player knows
  // it (links resolved) and the Wine prefix whose registry named it, ""
  // when the player named the folder. Empty before a successful validation.
  const FoundGame& gameFound() const { return found_; }

  // True after an installation that SIGINT, SIGTERM or SIGHUP stopped; it
  // has said so on standard error, and the process should end with status 1.
  bool stopped() const { return stopped_; }

  // Where an installation stands, for the progress displays: the scene at
  // hand, counted from 1 in installation order, of how many the package
  // holds. Set before onStartScn of that scene.
  struct Position {
    std::string scene;
    size_t number = 0;
    size_t count = 0;
  };
  const Position& position() const { return position_; }

  // What the last installation put into the game folder, for its summary.
  struct Written {
    size_t archives = 0;  // archives rewritten with the translation
    size_t extras = 0;    // extra files copied
    size_t upToDate = 0;  // files that already held what the package puts there
    // Archives left as they are because their member table is cut short:
    // written back, it would run into their members.
    size_t untranslated = 0;
  };
  const Written& written() const { return written_; }

  const Services& services() const { return services_; }

  // One game file on its way: what the installation found of it, as
  // decideFile() takes it, and what carrying out a step with it needs.
  struct PendingFile {
    bool archive = false;   // else an extra file
    std::string relative;   // its path in the game folder
    std::string path;       // the game folder's path and that
    // Its stamp before it was read (archives): what the backup records of
    // a file left as it stands, when nothing wrote it since.
    std::optional<FileStamp> stampRead;
    // The installed version it is (FileOrigin::InstalledVersion): that
    // version's pieces.
    std::string pieces;
    FileFacts facts;
    // Writes the backup that rebuilds the original from the new bytes.
    std::function<bool(GameBackup&)> keepBackup;
    // Writes the new bytes over the file.
    std::function<bool()> write;
  };
  // Carries out `step` for `file`. False after its message when the backup
  // or the file could not be written.
  bool carryOut(FileStep step, const PendingFile& file);

 private:
  // A sub-scene's archive read, translated and saved in memory, with the
  // backup of it worked out: everything of its installation but the writes.
  struct Prepared;
  // Reads the archive of `sub` (on this thread: every file is read and
  // written here) and takes it back to its original.
  std::unique_ptr<Prepared> readArchive(const tPatchScene& scene, const tSubScene& sub);
  // The archive read, translated, or why not: on the helper thread when
  // one works ahead, else on this one.
  static void translateArchive(Prepared& prepared);
  // Starts on the archive that comes after `sub` in the installation, when
  // memory allows (`current`: the size of the one about to be written), so
  // that it is translated while this one is written.
  void startAhead(const tPatchScene& scene, const tSubScene& sub, uint64_t current);
  // The archive of `sub`, from the helper when it worked on it, else
  // prepared now.
  std::unique_ptr<Prepared> takePrepared(const tPatchScene& scene, const tSubScene& sub);
  // Waits for the helper's archive and drops it.
  void dropAhead();
  int replaceSub(tPatchScene& scene, tSubScene& sub);
  // Leaves a scene that the last installation left as this one would, and
  // keeps its backup; false when one of its files changed since.
  bool skipScene(tPatchScene& scene);
  // Leaves one archive as the last installation left it, keeping its
  // backup; only after the backup found it unchanged.
  void reuseArchive(tSubScene& sub);
  // Leaves an extra file that the last installation wrote from a member of
  // this size and CRC-32 and that has not changed since; false otherwise.
  bool skipExtra(const std::string& relative, const FileStatus& status, uint64_t size, uint32_t crc);
  // The installation's backup; null outside doReplace.
  GameBackup* backup();
  bool writeArchive(const std::string& path, std::string_view bytes);
  // Readies the files of the scene just written for the placing thread,
  // which puts their pieces files on disk and in place, then renames their
  // archives into place, while this thread writes the next scenes; they are
  // handed over at once when it is free, else with the next scenes. False
  // after its message when one cannot be handed over, or the scenes before
  // could not be put in place (finishRenames).
  bool renameWaiting();
  // Hands every file readied to the placing thread, once it has put the
  // ones before in place; false as renameWaiting.
  bool handReady();
  // Puts every file readied in place and waits for it; false as
  // renameWaiting.
  bool placeAll();
  // On the placing thread: the work renameWaiting hands over
  // (Installation::renaming).
  void placeRenames();
  // Waits for the files being put in place, and records their archives'
  // stamps; false after its message when one of them could not be put in
  // place (renamesFailedIn_ names its scene).
  bool finishRenames();
  // Whether the archive (relative) is one readied or still being put in
  // place.
  bool renamePending(const std::string& relative) const;
  std::vector<std::string> listedExtras();
  // The package's archives and the extra files extra.lst names, each as a
  // path in the game folder: where an unfinished file may stand beside.
  std::vector<std::string> sweptFiles();
  // The unfinished files a killed run left beside `paths` (and beside the
  // files their links lead to), by folder: found, not removed. Reads only
  // the file system, so that it may run on a thread of its own.
  using Leftovers = InstallLeftovers;
  Leftovers findLeftoverFiles(const std::vector<std::string>& paths) const;
  // findLeftoverFiles(sweptFiles()) on a thread of its own.
  std::future<Leftovers> startSweep();
  // Removes what findLeftoverFiles found, and a killed build's package;
  // says what it removed to `report`.
  void removeLeftoverFiles(const Leftovers& found, Reporter& report) const;
  bool stopping();
  // The end of validateInstall once gameRoot is named: the folder taken as
  // the game's when it holds one.
  int acceptGameRoot();
  // The installation behind doReplace once it holds the game's lock.
  int install(Installation& installation);

  Services services_;
  std::string packageUrl_;
  // A folder the registry names that no longer holds the game, shown when
  // the player is asked for it.
  std::string lostFolder_;
  FoundGame found_;
  // The archive the helper works on, or has finished, for the sub-scene
  // after the one being written. Declared before the installation, whose
  // helper thread must end before it goes.
  std::unique_ptr<Prepared> ahead_;
  // The largest archive this installation may write, in bytes.
  uint64_t largestArchive_ = 0;
  // The one prepareGame started, until doReplace takes it.
  std::unique_ptr<Installation> prepared_;
  // Only while doReplace runs: the lock, the backup, the signals.
  std::unique_ptr<Installation> installation_;
  bool stopped_ = false;
  // The scene whose files could not be put in place, once one could not.
  std::string renamesFailedIn_;
  Position position_;
  Written written_;
};

}  // namespace vh
