// Installing a loaded patch package into the game: find the game folder,
// copy the extra files, then scene by scene and sub-scene by sub-scene open
// each archive, rewrite its record text, write the heroine's name into the
// "Global" scene and put the archive back. Progress is reported through four
// callbacks that the windowed subclass turns into its bars.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vh {

class GameBackup;
class HeldSignals;
class tPatch;
class tPatchScene;
class tSubScene;
class tXARC;
class tXRC;

inline constexpr const char* kGameKey = "HKEY_CURRENT_USER\\Software\\Lumeric\\Tessary";
inline constexpr const char* kGameValue = "root";

class tPatcher {
 public:
  virtual ~tPatcher();

  std::string gameRoot;  // ends in "/" once validateInstall has run
  std::shared_ptr<tPatch> patch;
  int32_t gameValid = 0;

  virtual int getRegPath();
  virtual int validateInstall();
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

  // True after an installation that SIGINT, SIGTERM or SIGHUP stopped; it
  // has said so on standard error, and the process should end with status 1.
  bool stopped() const { return stopped_; }

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
  HeldSignals* signals_ = nullptr;  // only while an installation writes
  GameBackup* backup_ = nullptr;    // likewise
  bool stopped_ = false;
};

}  // namespace vh
