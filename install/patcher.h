// Installing a loaded patch package into the game: find the game folder,
// copy the extra files, then scene by scene and sub-scene by sub-scene open
// each archive, rewrite its record text, write the heroine's name into the
// "Global" scene and put the archive back. Progress is reported through four
// callbacks that the windowed subclass turns into its bars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "install/game_search.h"

namespace vh {

class GameBackup;
class GameFolderLock;
class HeldSignals;
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

class tPatcher {
 public:
  virtual ~tPatcher();

  std::string gameRoot;  // ends in "/" once validateInstall has run
  std::shared_ptr<tPatch> patch;
  int32_t gameValid = 0;

  virtual int getRegPath();
  virtual int validateInstall();
  // The game folder found and locked for writing; null once the user has
  // been told why not (no game there, or another installation in it).
  [[nodiscard]] std::unique_ptr<GameFolderLock> lockGame();
  virtual int loadPatch(const std::string& url);
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

  // The changes of one sub-scene, made in memory on its opened archive:
  // the scene's translation entries, the heroine's name in "Global" and the
  // listed pictures. 1, or 0 after its message when a picture's member is
  // missing. The installer writes the archive afterwards; a preview does not.
  int applyToArchive(const tPatchScene& scene, const tSubScene& sub, tXARC& archive);

 private:
  int replaceSub(tPatchScene& scene, tSubScene& sub);
  // Leaves a scene that the last installation left as this one would, and
  // keeps its backup; false when one of its files changed since.
  bool skipScene(tPatchScene& scene);
  bool writeArchive(const std::string& path, std::string_view bytes);
  std::vector<std::string> listedExtras();
  void removeLeftoverFiles();
  bool stopping();

  std::string packageUrl_;
  // A folder the registry names that no longer holds the game, shown when
  // the player is asked for it.
  std::string lostFolder_;
  FoundGame found_;
  HeldSignals* signals_ = nullptr;  // only while an installation writes
  GameBackup* backup_ = nullptr;    // likewise
  bool stopped_ = false;
  Position position_;
  Written written_;
  // Folders of archives renamed into place and not yet synced.
  std::set<std::string> unsyncedFolders_;
};

}  // namespace vh
