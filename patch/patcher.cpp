#include "patch/patcher.h"

#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <set>

#include "common/bytes.h"
#include "common/files.h"
#include "common/replacing_file.h"
#include "common/report.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "common/sha256.h"
#include "patch/backup.h"
#include "patch/fingerprint.h"
#include "patch/game_folder.h"
#include "patch/game_search.h"
#include "patch/install_guard.h"
#include "patch/installer_host.h"
#include "patch/patch.h"
#include "support/registry.h"
#include "support/registry_platform.h"
#include "support/wine_prefixes.h"
#include "support/zip.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh {

namespace {

constexpr const char* kGlobalScene = "Global";
constexpr size_t kHeroineRecord = 4243;
// 米蕾 in GBK, then a space: the heroine's name as the game shows it.
const std::string kHeroineName = "\xC3\xD7\xC0\xD9\x20";

// Folders on the way to an extra file inside the game folder.
void makeParentFolders(const std::string& root, const std::string& relative) {
  size_t at = 0;
  while ((at = relative.find('/', at)) != std::string::npos) {
    mkdir((root + relative.substr(0, at)).c_str(), 0755);
    ++at;
  }
}

std::pair<std::string, std::string> splitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Several prefixes name a game folder. There is no list dialog: the folder
// chooser asks, its prompt numbering the folders and starting in the first;
// a typed number picks from the list, anything else is taken as a folder.
std::string chooseGame(const std::vector<FoundGame>& found) {
  std::string prompt = "Varnhollow is installed in more than one Wine prefix:";
  for (size_t i = 0; i < found.size(); ++i) {
    prompt += "\n" + std::to_string(i + 1) + ". " + found[i].shown + " (in " + found[i].prefix + ")";
  }
  prompt += "\nPlease specify your VHW installation (its number or its folder)";
  const std::string answer = installerHost().chooseFolder(prompt, found.front().folder);
  const std::string typed = pastedFolder(answer, homeFolder());
  if (!typed.empty() && typed.size() <= 3 && typed.find_first_not_of("0123456789") == std::string::npos) {
    const size_t chosen = std::stoul(typed);
    if (chosen >= 1 && chosen <= found.size()) return found[chosen - 1].folder;
  }
  return typed;
}

}  // namespace

tPatcher::~tPatcher() = default;

int tPatcher::getRegPath() {
  const GameSearch search = searchGame(kGameKey, kGameValue);
  lostFolder_ = search.lostFolder;
  if (search.found.empty()) {
    reporter().messageBox(lostFolder_.empty() ? "Cannot find VHW info in registry. Please specify install path."
                                              : "Cannot find Varnhollow in the folder the registry names:" + lostFolder_);
    return 0;
  }
  if (search.found.size() == 1) {
    const FoundGame& game = search.found.front();
    // Found in a prefix the player did not name: say where, so that a game
    // installed twice is not translated in the wrong place unnoticed.
    if (game.prefix != registryPlatform().prefixFolder()) {
      installerHost().printLine("Varnhollow found in the Wine prefix " + game.prefix);
    }
    gameRoot = game.folder;
    return 1;
  }
  gameRoot = chooseGame(search.found);
  return 1;
}

int tPatcher::validateInstall() {
  if (gameValid == 1) return 1;
  if (!getRegPath()) {
    const std::string prompt = lostFolder_.empty()
                                   ? "Please specify your VHW installation"
                                   : "Please specify your VHW installation (it is no longer in " + lostFolder_ + ")";
    gameRoot = pastedFolder(installerHost().chooseFolder(prompt, ""), homeFolder());
  }
  if (gameRoot.empty()) return 0;
  gameRoot = normalizeGameRoot(resolveDrivePath(normalizeGameRoot(gameRoot)));
  reporter().debugLog("game folder: " + gameRoot);
  if (!folderExists(gameRoot)) return 0;
  if (!fileExists(gameRoot + "x.xarc")) return 0;
  gameValid = 1;
  return 1;
}

int tPatcher::loadPatch(const std::string& url) {
  packageUrl_ = url;
  patch = std::make_shared<tPatch>();
  // The pictures are read with the rest, so a bad image entry refuses the
  // package before anything is installed rather than halfway through.
  return patch->open(url) && patch->readImages() ? 1 : 0;
}

std::vector<std::string> tPatcher::listedExtras() {
  std::vector<std::string> lines;
  if (!patch || !patch->z) return lines;
  const auto list = patch->z->ExtractFile("extra.lst", 0, "");
  if (!list) return lines;
  while (!list->atEnd()) {
    std::string line = list->readLine();
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

// 1 when every extra file the package holds is in place, 0 when one could
// not be written (after its message) or a signal stopped the copying.
int tPatcher::replaceExtra() {
  for (const std::string& line : listedExtras()) {
    installerHost().printLine("extra/" + line);
    // The list comes from the package: a line must not reach outside the
    // game folder, whatever it says.
    if (escapesFolder(line)) {
      reporter().messageBox("refused extra file outside the game folder:" + line);
      continue;
    }
    if (stopping()) return 0;
    const auto member = patch->z->ExtractFile("extra/" + line, 0, "");
    if (!member) {
      reporter().debugLog("no member extra/" + line + " in the package; skipped");
      continue;
    }
    const std::string target = gameRoot + toSlashes(line);
    // Folders only for files that really come, so a listed name the package
    // lacks leaves no empty folder behind.
    makeParentFolders(gameRoot, toSlashes(line));
    const std::string_view bytes(reinterpret_cast<const char*>(member->data()), static_cast<size_t>(member->size()));
    if (backup_ && !backup_->keepFile(toSlashes(line), bytes)) {
      reporter().messageBox("failed to write backup for:" + target);
      return 0;
    }
    if (!writeToDisk(*member, target)) {
      reporter().messageBox("failed to write:" + target);
      return 0;
    }
    ++written_.extras;
  }
  return 1;
}

bool tPatcher::stopping() {
  if (!stopped_ && signals_ && signals_->arrived()) stopped_ = true;
  return stopped_;
}

// New files that a killed installation left behind are looked for only
// beside the files this package writes (and the targets of their links), so
// the game folder is never walked as a whole.
void tPatcher::removeLeftoverFiles() {
  std::map<std::string, std::set<std::string>> byFolder;
  const auto note = [&](const std::string& path) {
    for (const std::string& p : {path, replacedFile(path)}) {
      auto [folder, name] = splitPath(p);
      byFolder[folder].insert(name);
    }
  };
  for (const auto& [sceneName, scene] : patch->scenes) {
    for (const auto& [subName, sub] : scene->subs) note(gameRoot + sub->path);
  }
  for (const std::string& line : listedExtras()) {
    if (!escapesFolder(line)) note(gameRoot + toSlashes(line));
  }
  for (const auto& [folder, names] : byFolder) {
    if (const size_t removed = removeLeftovers(folder, names)) {
      reporter().debugLog("removed " + std::to_string(removed) + " unfinished file(s) in " + folder);
    }
  }
  // A build that was killed leaves its half-written package beside the
  // good one.
  if (!packageUrl_.empty() && std::remove((packageUrl_ + ".building").c_str()) == 0) {
    reporter().debugLog("removed an unfinished " + packageUrl_ + ".building");
  }
}

int tPatcher::doReplace() {
  stopped_ = false;
  position_ = {};
  written_ = {};
  if (!validateInstall()) {
    reporter().messageBox("Cannot find Varnhollow installation.");
    return 0;
  }
  if (!patch) return 0;
  // Two installations writing into one game folder would mix their files.
  const auto lock = GameFolderLock::take(gameRoot);
  if (!lock) {
    reporter().messageBox("another installation is running in:" + gameRoot);
    return 0;
  }
  // A package made for another version of the game would write its entries
  // onto the wrong records; nothing is written then.
  if (const std::string other = otherVersionArchive(*patch, gameRoot); !other.empty()) {
    reporter().messageBox("this translation is for another version of the game:" + other);
    return 0;
  }
  GameBackup backup(gameRoot);
  backup.load();
  if (backup.unreadable() > 0) {
    reporter().messageBox("backup damaged, cannot restore:" + backup.folder());
    return 0;
  }
  HeldSignals signals;
  signals_ = &signals;
  backup_ = &backup;
  struct Forget {
    tPatcher& patcher;
    ~Forget() {
      patcher.signals_ = nullptr;
      patcher.backup_ = nullptr;
    }
  } forget{*this};

  removeLeftoverFiles();
  const std::string* lastScene = nullptr;
  const auto stoppedHere = [&] {
    installerHost().printErrorLine(lastScene ? "installation stopped after scene:" + *lastScene
                                       : std::string("installation stopped before any scene was finished"));
    return 0;
  };
  if (!replaceExtra()) return stopped_ ? stoppedHere() : 0;
  position_.count = patch->scenes.size();
  for (auto& [name, scene] : patch->scenes) {
    position_.scene = name;
    ++position_.number;
    onStartScn(*scene);
    if (!replaceScene(*scene)) {
      if (stopped_) return stoppedHere();
      reporter().messageBox("failed applying patch:" + name);
      return 0;
    }
    onCompeleteScn(*scene);
    lastScene = &name;
  }
  const auto package = sha256OfFile(packageUrl_);
  if (!backup.finishInstallation(package.value_or(""))) return 0;
  // A signal during the last archive: everything is written, but the user
  // asked to stop, and is told where the installation stood.
  if (stopping()) return stoppedHere();
  return 1;
}

int tPatcher::replaceScene(tPatchScene& scene) {
  for (auto& [name, sub] : scene.subs) {
    if (!replaceSub(scene, *sub)) return 0;
  }
  return 1;
}

int tPatcher::replaceSub(tPatchScene& scene, tSubScene& sub) {
  onStartSub(sub);
  const std::string path = gameRoot + sub.path;
  reporter().debugLog("patching " + path);
  tXARC archive;
  archive.subId = strToInt(sub.name);
  // A game translated before is translated again from its original, so that
  // nothing of the earlier package stays.
  std::optional<std::string> original = readWholeFile(path);
  if (original && backup_ && !backup_->toOriginal(sub.path, original)) return 0;
  if (!original) {
    reporter().messageBox("failed to read:" + path);
    return 0;
  }
  MemoryStream originalStream(original->data(), original->size());
  if (!archive.open(originalStream, path)) return 0;
  const std::vector<MemberSpan> originalMembers = memberSpans(archive);

  if (!applyToArchive(scene, sub, archive)) return 0;
  // A signal that came while the archive was read or changed: the game file
  // is still whole, so it is left as it was.
  if (stopping()) return 0;

  if (!archive.savable()) {
    // A file too short for a header opened with no members, so nothing in
    // it changed; it stays as it is.
    reporter().debugLog("no archive table in " + path + ", left as it is");
    onCompleteSub(sub);
    return 1;
  }

  auto installed = std::make_shared<ByteBuffer>();
  BufferStream saved(installed);
  archive.save(saved);
  const std::string_view installedBytes(reinterpret_cast<const char*>(installed->data()), installed->size());
  if (backup_ &&
      !backup_->keep(sub.path, original, installedBytes, sharedMembers(originalMembers, archive, installed->size()))) {
    reporter().messageBox("failed to write backup for:" + path);
    return 0;
  }
  // The archive goes to a new file that replaces the old one only when it
  // is complete, so a failure or a killed process never leaves half a game
  // file behind.
  auto out = ReplacingFile::create(path);
  bool written = false;
  if (out) {
    try {
      out->stream().write(installedBytes.data(), installedBytes.size());
      written = out->commit();
    } catch (const StreamError& error) {
      reporter().debugLog(std::string(error.what()) + ": " + path);
    }
  }
  if (!written) {
    reporter().messageBox("failed to write:" + path);
    return 0;
  }
  ++written_.archives;
  onCompleteSub(sub);
  return 1;
}

int tPatcher::applyToArchive(const tPatchScene& scene, const tSubScene& sub, tXARC& archive) {
  const auto xrc = archive.getXRC();
  if (xrc && scene.trz) {
    applyTrz(*xrc, *scene.trz);
  } else {
    reporter().debugLog("no text to apply in sub-scene " + sub.name + " of " + scene.name);
  }
  if (xrc && scene.name == kGlobalScene) replaceMirel(*xrc);
  if (sub.hasImages()) {
    for (const auto& image : *sub.images) {
      const auto member = archive.findFile(image->oname);
      if (!member) {
        reporter().messageBox("failed applying image patch:" + image->oname);
        return 0;
      }
      member->replaceBank(image->imagebuffer);
    }
  }
  return 1;
}

int tPatcher::replaceSceneByName(const std::string& name) {
  validateInstall();
  if (!patch) return 0;
  const auto found = patch->scenes.find(name);
  if (found != patch->scenes.end()) replaceScene(*found->second);
  return 0;
}

int tPatcher::replaceMirel(tXRC& xrc) {
  const auto records = xrc.getRecordArray();
  if (records.size() <= kHeroineRecord) return 0;
  tRecordData& data = records[kHeroineRecord]->data;
  if (data.type1 != 8 || data.type2 != 1) return 0;
  data.title = kHeroineName;
  // The length follows the title, so a record whose stored title had
  // another length is still written consistently.
  data.titleLength = static_cast<uint16_t>(kHeroineName.size());
  return 0;
}

int tPatcher::onStartSub(tSubScene&) { return 0; }

int tPatcher::onStartScn(tPatchScene& scene) {
  reporter().debugLog("processing scene...." + scene.name);
  return 0;
}

int tPatcher::onCompleteSub(tSubScene&) { return 0; }

int tPatcher::onCompeleteScn(tPatchScene&) {
  reporter().debugLog("\tdone!");
  return 0;
}

}  // namespace vh
