#include "install/patcher.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "backup/backup.h"
#include "common/bytes.h"
#include "common/files.h"
#include "common/replacing_file.h"
#include "common/report.h"
#include "digest/sha256.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "install/game_folder.h"
#include "install/game_search.h"
#include "install/install_guard.h"
#include "install/installer_host.h"
#include "package/build_lock.h"
#include "package/fingerprint.h"
#include "package/patch.h"
#include "support/registry.h"
#include "support/registry_platform.h"
#include "support/wine_prefixes.h"
#include "support/zip.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh {

namespace {

// 米蕾 in GBK, then a space: the heroine's name as the game shows it.
const std::string kHeroineName = "\xC3\xD7\xC0\xD9\x20";
const std::string kFailedToRead = "failed to read:";

// The first picture of the package whose member the game's archive lacks,
// named with its archive; "" when every one is there. An archive that
// cannot be read is left for the installation to report.
std::string missingPictureMember(const tPatch& patch, const std::string& gameRoot) {
  for (const auto& [sceneName, scene] : patch.scenes) {
    for (const auto& [subName, sub] : scene->subs) {
      if (!sub->hasImages()) continue;
      tXARC archive;
      try {
        if (archive.read(gameRoot + sub->path)) continue;
      } catch (const std::exception&) {
        continue;
      }
      for (const auto& image : *sub->images) {
        if (!archive.findFile(image->oname)) return image->name + " (" + sub->path + ")";
      }
    }
  }
  return "";
}

// Folders on the way to an extra file inside the game folder; those that
// were not there, the outermost first.
std::vector<std::string> makeParentFolders(const std::string& root, const std::string& relative) {
  std::vector<std::string> made;
  size_t at = 0;
  while ((at = relative.find('/', at)) != std::string::npos) {
    const std::string folder = relative.substr(0, at);
    if (mkdir((root + folder).c_str(), 0755) == 0) made.push_back(folder);
    ++at;
  }
  return made;
}

void removeFolders(const std::string& root, const std::vector<std::string>& made) {
  for (auto folder = made.rbegin(); folder != made.rend(); ++folder) rmdir((root + *folder).c_str());
}

void addField(Sha256& digest, std::string_view bytes) {
  const uint64_t size = bytes.size();
  char length[8];
  for (int k = 0; k < 8; ++k) length[k] = static_cast<char>(size >> (8 * k));
  digest.add(std::string_view(length, sizeof length));
  digest.add(bytes);
}

void addNumber(Sha256& digest, int64_t value) { addField(digest, std::to_string(value)); }

// Everything the installed archives of a scene follow from besides their
// originals: the program that installs them, the scene's name (the heroine's
// name goes into "Global"), its sub-scenes with their archive paths (a
// sub-scene's name picks its entries), its table with the add-on entries as
// they were read, and its pictures. Each field goes in with its length, so
// that no two inputs read alike.
std::string sceneInputs(const tPatchScene& scene, const std::string& program) {
  Sha256 digest;
  addField(digest, "vhpatch scene inputs 1");
  addField(digest, program);
  addField(digest, scene.name);
  addNumber(digest, scene.trz ? static_cast<int64_t>(scene.trz->records.size()) : -1);
  if (scene.trz) {
    for (const tTransRecord& record : scene.trz->records) {
      addField(digest, record.scnId);
      addNumber(digest, record.subId);
      addNumber(digest, record.recId);
      addNumber(digest, record.length);
      addNumber(digest, record.typeId);
      addField(digest, record.value);
      addNumber(digest, static_cast<int64_t>(record.overlongValue));
    }
  }
  for (const auto& [name, sub] : scene.subs) {
    addField(digest, name);
    addField(digest, sub->path);
    addNumber(digest, sub->hasImages() ? static_cast<int64_t>(sub->images->size()) : 0);
    if (!sub->hasImages()) continue;
    for (const auto& image : *sub->images) {
      addField(digest, image->oname);
      const ByteBufferPtr& bytes = image->imagebuffer;
      addField(digest, bytes ? std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())
                             : std::string_view());
    }
  }
  return digest.hex();
}

// The running program's build, read once: the file it was started from
// stays what /proc/self/exe opens, whatever replaces its name meanwhile.
const std::optional<std::string>& programDigest() {
  static const std::optional<std::string> digest = sha256OfFile("/proc/self/exe");
  return digest;
}

// Whether the file holds exactly these bytes, read a block at a time: an
// extra file may be large (a font), and is most often already in place.
bool fileHolds(const std::string& path, std::string_view bytes) {
  size_t at = 0;
  bool same = true;
  const bool read = readFileBlocks(path, [&](std::string_view block) {
    same = block.size() <= bytes.size() - at && block == bytes.substr(at, block.size());
    at += block.size();
    return same;
  });
  return read && same && at == bytes.size();
}

std::pair<std::string, std::string> splitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Several prefixes name a game folder. There is no list dialog: the folder
// chooser asks, its prompt numbering the folders and starting in the first;
// a typed number picks from the list, anything else is taken as a folder.
FoundGame chooseGame(const std::vector<FoundGame>& found) {
  std::string prompt = "Varnhollow is installed in more than one Wine prefix:";
  for (size_t i = 0; i < found.size(); ++i) {
    prompt += "\n" + std::to_string(i + 1) + ". " + found[i].shown + " (in " + found[i].prefix + ")";
  }
  prompt += "\nPlease specify your VHW installation (its number or its folder)";
  const std::string answer = installerHost().chooseFolder(prompt, found.front().folder);
  const std::string typed = pastedFolder(answer, homeFolder());
  if (!typed.empty() && typed.size() <= 3 && typed.find_first_not_of("0123456789") == std::string::npos) {
    const size_t chosen = std::stoul(typed);
    if (chosen >= 1 && chosen <= found.size()) return found[chosen - 1];
  }
  return {typed, "", ""};
}

}  // namespace

tPatcher::~tPatcher() = default;

int tPatcher::getRegPath() {
  found_ = {};
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
    found_ = game;
    return 1;
  }
  found_ = chooseGame(search.found);
  gameRoot = found_.folder;
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
  // A folder the player named is shown as the installation will use it.
  if (found_.shown.empty()) found_.shown = gameRoot.size() > 1 ? gameRoot.substr(0, gameRoot.size() - 1) : gameRoot;
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
    // game folder, nor into the backup, whatever it says. The member is
    // named by the line as it stands; the file by its normal form.
    const auto relative = pathInFolder(line);
    if (!relative) {
      reporter().messageBox("refused extra file outside the game folder:" + line);
      continue;
    }
    if (stopping()) return 0;
    const auto member = patch->z->ExtractFile("extra/" + line, 0, "");
    if (!member) {
      reporter().debugLog("no member extra/" + line + " in the package; skipped");
      continue;
    }
    const std::string target = gameRoot + *relative;
    // Only a regular file is read or replaced: a pipe in its place would hold
    // the installation, a device would never end.
    if (const FileKind kind = fileKind(target); kind != FileKind::Missing && kind != FileKind::File) {
      reporter().messageBox(kFailedToRead + target);
      return 0;
    }
    // Folders only for files that really come, so a listed name the package
    // lacks leaves no empty folder behind; and none stays for a file that
    // could not be written.
    const std::vector<std::string> made = makeParentFolders(gameRoot, *relative);
    const auto failed = [&](const std::string& message) {
      removeFolders(gameRoot, made);
      reporter().messageBox(message);
      return 0;
    };
    if (backup_ && !backup_->madeFolders(made)) return failed("failed to write backup for:" + target);
    const std::string_view bytes(reinterpret_cast<const char*>(member->data()), static_cast<size_t>(member->size()));
    // A file that already holds these bytes is left as it is; the backup
    // keeps the version that put them there.
    if (fileKind(target) == FileKind::File && fileSize(target) == static_cast<int64_t>(bytes.size())) {
      if (fileHolds(target, bytes)) {
        if (backup_ && !backup_->reuseInstalled(*relative, sha256Hex(bytes)) && backup_->knows(*relative) &&
            !backup_->keepFile(*relative, bytes)) {
          return failed("failed to write backup for:" + target);
        }
        ++written_.upToDate;
        continue;
      }
    }
    if (backup_ && !backup_->keepFile(*relative, bytes)) return failed("failed to write backup for:" + target);
    if (!writeToDisk(*member, target)) return failed("failed to write:" + target);
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
    if (const auto relative = pathInFolder(line)) note(gameRoot + *relative);
  }
  for (const auto& [folder, names] : byFolder) {
    if (const size_t removed = removeLeftovers(folder, names)) {
      reporter().debugLog("removed " + std::to_string(removed) + " unfinished file(s) in " + folder);
    }
  }
  // A build that was killed leaves its half-written package beside the
  // good one; a build at work holds its lock.
  if (!packageUrl_.empty() && removeUnheldBuilding(packageUrl_ + ".building")) {
    reporter().debugLog("removed an unfinished " + packageUrl_ + ".building");
  }
}

std::unique_ptr<GameFolderLock> tPatcher::lockGame() {
  if (!validateInstall()) {
    reporter().messageBox(kGameNotFound);
    return nullptr;
  }
  // Two runs writing into one game folder would mix their files.
  auto lock = GameFolderLock::take(gameRoot);
  if (!lock) reporter().messageBox("another installation is running in:" + gameRoot);
  return lock;
}

int tPatcher::doReplace() {
  stopped_ = false;
  position_ = {};
  written_ = {};
  const auto lock = lockGame();
  if (!lock || !patch) return 0;
  GameBackup backup(gameRoot);
  // Over a backup that cannot be trusted, an installed file would be taken
  // for an original and the real one lost: nothing is written then.
  if (!backup.load() || !backup.reportDamage()) return 0;
  // A scene is skipped only when the last installation recorded the same
  // inputs for it and its files still carry the stamps it left; without the
  // program's own digest nothing is.
  std::map<std::string, std::string> inputs;
  std::set<std::string> skipping, skippedArchives;
  if (const auto& program = programDigest()) {
    for (const auto& [name, scene] : patch->scenes) {
      const std::string& digest = inputs[name] = sceneInputs(*scene, *program);
      if (backup.recordedInputs(name) != digest) continue;
      if (!std::all_of(scene->subs.begin(), scene->subs.end(),
                       [&](const auto& sub) { return backup.unchanged(sub.second->path); })) {
        continue;
      }
      skipping.insert(name);
      for (const auto& [subName, sub] : scene->subs) skippedArchives.insert(sub->path);
    }
  }
  // A package made for another version of the game would write its entries
  // onto the wrong records; nothing is written then. The archives left as
  // the last installation wrote them passed this check then.
  if (const std::string other = otherVersionArchive(*patch, gameRoot, skippedArchives); !other.empty()) {
    reporter().messageBox("this translation is for another version of the game:" + other);
    return 0;
  }
  // A picture whose member is missing would stop the installation after
  // other archives were rewritten: every one is looked up first.
  if (const std::string missing = missingPictureMember(*patch, gameRoot); !missing.empty()) {
    reporter().messageBox("the game has no member for the picture:" + missing);
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
    if (stopping()) return stoppedHere();
    // A scene planned as skipped whose file changed meanwhile is installed
    // after all: nothing is skipped on a guess.
    if (!(skipping.count(name) && skipScene(*scene)) && !replaceScene(*scene)) {
      if (stopped_) return stoppedHere();
      reporter().messageBox("failed applying patch:" + name);
      return 0;
    }
    if (const auto found = inputs.find(name); found != inputs.end()) backup.noteScene(name, found->second);
    onCompeleteScn(*scene);
    lastScene = &name;
  }
  syncFolders(unsyncedFolders_);
  unsyncedFolders_.clear();
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

bool tPatcher::skipScene(tPatchScene& scene) {
  if (!backup_) return false;
  for (const auto& [name, sub] : scene.subs) {
    if (!backup_->unchanged(sub->path)) return false;
  }
  for (auto& [name, sub] : scene.subs) {
    onStartSub(*sub);
    reporter().debugLog("unchanged since the last installation: " + gameRoot + sub->path);
    backup_->reuseRecorded(sub->path);
    ++written_.upToDate;
    onCompleteSub(*sub);
  }
  return true;
}

// The archive goes to a new file that replaces the old one only when it is
// complete, so a failure or a killed process never leaves half a game file
// behind.
bool tPatcher::writeArchive(const std::string& path, std::string_view bytes) {
  auto out = ReplacingFile::create(path);
  if (!out) return false;
  try {
    out->stream().write(bytes.data(), bytes.size());
    // The new archive is synced before its rename; the rename itself needs
    // no sync of its own folder now, since either file is a state the backup
    // knows: the folders are synced once, before the manifest is written.
    return out->commit(&unsyncedFolders_);
  } catch (const StreamError& error) {
    reporter().debugLog(std::string(error.what()) + ": " + path);
    return false;
  }
}

int tPatcher::replaceSub(tPatchScene& scene, tSubScene& sub) {
  onStartSub(sub);
  const std::string path = gameRoot + sub.path;
  reporter().debugLog("patching " + path);
  tXARC archive;
  archive.subId = strToInt(sub.name);
  // A game translated before is translated again from its original, so that
  // nothing of the earlier package stays.
  const std::optional<FileStamp> stampRead = stampOf(path);
  std::optional<std::string> original = readWholeFile(path);
  GameBackup::Origin origin;
  if (original && backup_ && !backup_->toOriginal(sub.path, original, &origin)) return 0;
  if (!original) {
    // A stop asked for during a slow read interrupts it; that is no fault of
    // the file.
    if (stopping()) return 0;
    reporter().messageBox(kFailedToRead + path);
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
    // A file too short for a header opened with no members, and a table cut
    // short would run into the members written back: it stays as it is.
    reporter().debugLog("no archive table in " + path + ", left as it is");
    ++written_.untranslated;
    onCompleteSub(sub);
    return 1;
  }

  auto installed = std::make_shared<ByteBuffer>();
  // Room for the translated archive up front, so that saving it never moves
  // what it has written so far; room never touched costs no memory.
  installed->bytes().reserve(original->size() + original->size() / 4 + 65536);
  BufferStream saved(installed);
  archive.save(saved);
  const std::string_view installedBytes(reinterpret_cast<const char*>(installed->data()), installed->size());
  // What stands in the game already holds these bytes: neither the archive
  // nor its backup is written again. The file is the installed version the
  // backup took back, or an original the package does not change.
  const bool sameAsStored =
      stampRead && stampRead->size == installedBytes.size() &&
      (origin.asStored ? *original == installedBytes
                       : !origin.pieces.empty() && sha256Hex(installedBytes) == origin.installed);
  if (sameAsStored && (!backup_ || !origin.asStored || !backup_->knows(sub.path))) {
    // Stamped only when nothing wrote the file while it was read.
    const bool stillAsRead = stampOf(path) == stampRead;
    if (backup_ && !origin.asStored) {
      backup_->reuse(sub.path, origin.pieces);
      if (stillAsRead) backup_->stamp(sub.path, *stampRead);
    } else if (backup_ && stillAsRead) {
      backup_->untouched(sub.path, *stampRead);
    }
    reporter().debugLog("already installed: " + path);
    ++written_.upToDate;
    onCompleteSub(sub);
    return 1;
  }
  if (backup_ &&
      !backup_->keep(sub.path, original, installedBytes, sharedMembers(originalMembers, archive, installed->size()))) {
    reporter().messageBox("failed to write backup for:" + path);
    return 0;
  }
  if (sameAsStored) {
    // An original the package leaves as it is, of which the backup still
    // holds an earlier installation's version: the new backup says so.
    ++written_.upToDate;
    onCompleteSub(sub);
    return 1;
  }
  if (!writeArchive(path, installedBytes)) {
    reporter().messageBox("failed to write:" + path);
    return 0;
  }
  ++written_.archives;
  if (backup_) {
    if (const auto written = stampOf(path)) backup_->stamp(sub.path, *written);
  }
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
