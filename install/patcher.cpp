#include "install/patcher.h"

#include <algorithm>
#include <cstdio>
#include <future>
#include <map>
#include <set>

#include "backup/backup.h"
#include "common/bytes.h"
#include "common/file_system.h"
#include "common/files.h"
#include "common/local_file_system.h"
#include "common/program_path.h"
#include "common/report.h"
#include "common/write_access.h"
#include "digest/sha256.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "install/game_folder.h"
#include "install/game_search.h"
#include "install/install_guard.h"
#include "install/installation.h"
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
// Archives written and waiting for their renames at most; each holds a file
// open.
constexpr size_t kMostWaitingArchives = 64;

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
std::vector<std::string> makeParentFolders(FileSystem& files, const std::string& root, const std::string& relative) {
  std::vector<std::string> made;
  size_t at = 0;
  while ((at = relative.find('/', at)) != std::string::npos) {
    const std::string folder = relative.substr(0, at);
    if (files.makeFolder(root + folder)) made.push_back(folder);
    ++at;
  }
  return made;
}

void removeFolders(FileSystem& files, const std::string& root, const std::vector<std::string>& made) {
  for (auto folder = made.rbegin(); folder != made.rend(); ++folder) (void)files.removeFolder(root + *folder);
}

// The digest of a file outside the game folder (the program, the package),
// read from the disk directly rather than through the installation's file
// system: it is taken on a thread of its own while the backup loads
// (install()).
std::optional<std::string> digestOutsideGame(const std::string& path) {
  LocalFileSystem local;
  return sha256OfFile(local, path);
}

// The running program's build, read once (programFile says why its bytes
// are those it runs).
const std::optional<std::string>& programDigest() {
  static const std::optional<std::string> digest = digestOutsideGame(programFile());
  return digest;
}

// Whether the file holds exactly these bytes, read a block at a time: an
// extra file may be large (a font), and is most often already in place.
bool fileHolds(FileSystem& files, const std::string& path, std::string_view bytes) {
  size_t at = 0;
  bool same = true;
  const bool read = readFileBlocks(files, path, [&](std::string_view block) {
    same = block.size() <= bytes.size() - at && block == bytes.substr(at, block.size());
    at += block.size();
    return same;
  });
  return read && same && at == bytes.size();
}

std::pair<std::string, std::string> splitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {folderOf(path), path.substr(slash + 1)};
}

// Several prefixes name a game folder. There is no list dialog: the folder
// chooser asks, its prompt numbering the folders and starting in the first;
// a typed number picks from the list, anything else is taken as a folder.
FoundGame chooseGame(const Services& services, const std::vector<FoundGame>& found) {
  std::string prompt = "Varnhollow is installed in more than one Wine prefix:";
  for (size_t i = 0; i < found.size(); ++i) {
    prompt += "\n" + std::to_string(i + 1) + ". " + found[i].shown + " (in " + found[i].prefix + ")";
  }
  prompt += "\nPlease specify your VHW installation (its number or its folder)";
  const std::string answer = services.host.chooseFolder(prompt, found.front().folder);
  const std::string typed = pastedFolder(answer, services.home);
  if (!typed.empty() && typed.size() <= 3 && typed.find_first_not_of("0123456789") == std::string::npos) {
    const size_t chosen = std::stoul(typed);
    if (chosen >= 1 && chosen <= found.size()) return found[chosen - 1];
  }
  return {typed, "", ""};
}

}  // namespace

void setHeroineName(tXRC& xrc) {
  const auto records = xrc.getRecordArray();
  if (records.size() <= kHeroineRecord) return;
  tRecordData& data = records[kHeroineRecord]->data;
  if (data.type1 != 8 || data.type2 != 1) return;
  data.title = kHeroineName;
  // The length follows the title, so a record whose stored title had
  // another length is still written consistently.
  data.titleLength = static_cast<uint16_t>(kHeroineName.size());
}

tPatcher::tPatcher(const Services& services) : services_(services) {}

tPatcher::~tPatcher() = default;

GameBackup* tPatcher::backup() { return installation_ ? &installation_->backup : nullptr; }

int tPatcher::getRegPath() {
  found_ = {};
  const GameSearch search = searchGame(services_, kGameKey, kGameValue);
  lostFolder_ = search.lostFolder;
  if (search.found.empty()) {
    services_.report.messageBox(lostFolder_.empty() ? "Cannot find VHW info in registry. Please specify install path."
                                                    : "Cannot find Varnhollow in the folder the registry names:" + lostFolder_);
    return 0;
  }
  if (search.found.size() == 1) {
    const FoundGame& game = search.found.front();
    // Found in a prefix the player did not name: say where, so that a game
    // installed twice is not translated in the wrong place unnoticed.
    if (game.prefix != services_.registry.prefixFolder()) {
      services_.host.printLine("Varnhollow found in the Wine prefix " + game.prefix);
    }
    gameRoot = game.folder;
    found_ = game;
    return 1;
  }
  found_ = chooseGame(services_, search.found);
  gameRoot = found_.folder;
  return 1;
}

int tPatcher::validateInstall() {
  if (gameValid == 1) return 1;
  if (!getRegPath()) {
    const std::string prompt = lostFolder_.empty()
                                   ? "Please specify your VHW installation"
                                   : "Please specify your VHW installation (it is no longer in " + lostFolder_ + ")";
    gameRoot = pastedFolder(services_.host.chooseFolder(prompt, ""), services_.home);
  }
  return acceptGameRoot();
}

int tPatcher::acceptGameRoot() {
  if (gameRoot.empty()) return 0;
  gameRoot = normalizeGameRoot(resolveDrivePath(normalizeGameRoot(gameRoot), services_.registry));
  services_.report.debugLog("game folder: " + gameRoot);
  if (services_.files.status(gameRoot).kind != FileKind::Folder) return 0;
  if (services_.files.status(gameRoot + "x.xarc").kind != FileKind::File) return 0;
  // A folder the player named is shown as the installation will use it.
  if (found_.shown.empty()) found_.shown = gameRoot.size() > 1 ? gameRoot.substr(0, gameRoot.size() - 1) : gameRoot;
  gameValid = 1;
  return 1;
}

void tPatcher::prepareGame() {
  if (gameValid == 1 || prepared_) return;
  const GameSearch search = searchGame(services_, kGameKey, kGameValue);
  if (search.found.size() != 1 || search.found.front().prefix != services_.registry.prefixFolder()) return;
  found_ = search.found.front();
  gameRoot = found_.folder;
  if (!acceptGameRoot()) {
    // Left for doReplace to find and say again.
    found_ = {};
    gameRoot.clear();
    gameValid = 0;
    return;
  }
  auto lock = GameFolderLock::take(gameRoot);
  if (!lock) return;
  prepared_ = std::make_unique<Installation>(services_, gameRoot, std::move(lock));
  Installation& installation = *prepared_;
  installation.backup.reportTo(installation.loadReport);
  // The program's digest, which the plan needs, is taken on the same
  // thread once the backup is read.
  installation.loading = std::async(std::launch::async, [&installation] {
    const bool loaded = installation.backup.load();
    (void)programDigest();
    return loaded;
  });
}

int tPatcher::loadPatch(const std::string& url) { return loadPatch(url, false, {}); }

int tPatcher::loadPatch(const std::string& url, bool extrasMeanwhile, KnownStreams known) {
  packageUrl_ = url;
  patch = std::make_shared<tPatch>(services_.report);
  // The pictures are read with the rest, so a bad image entry refuses the
  // package before anything is installed rather than halfway through.
  // A game locked before the package loads is searched for what a killed
  // run left as soon as the package names its archives: no other run
  // makes or removes files in it meanwhile.
  if (extrasMeanwhile && prepared_) {
    patch->scenesRead = [this, installation = prepared_.get()] { installation->sweeping = startSweep(); };
  }
  const int opened = extrasMeanwhile ? patch->openCheckingExtrasMeanwhile(url, std::move(known)) : patch->open(url);
  patch->scenesRead = nullptr;
  return opened && patch->readImages() ? 1 : 0;
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
  FileSystem& files = services_.files;
  for (const std::string& line : listedExtras()) {
    services_.host.printLine("extra/" + line);
    // The list comes from the package: a line must not reach outside the
    // game folder, nor into the backup, whatever it says. The member is
    // named by the line as it stands; the file by its normal form.
    const auto relative = pathInFolder(line);
    if (!relative) {
      services_.report.messageBox("refused extra file outside the game folder:" + line);
      continue;
    }
    if (stopping()) return 0;
    const std::string name = "extra/" + line;
    const auto record = patch->z->memberRecord(name, 0);
    if (!record) {
      services_.report.debugLog("no member " + name + " in the package; skipped");
      continue;
    }
    const std::string target = gameRoot + *relative;
    // Only a regular file is read or replaced: a pipe in its place would hold
    // the installation, a device would never end.
    const FileStatus status = files.status(target);
    if (status.kind != FileKind::Missing && status.kind != FileKind::File) {
      services_.report.messageBox(kFailedToRead + target);
      return 0;
    }
    if (skipExtra(*relative, status, record->size, record->crc)) continue;
    const auto member = patch->z->ExtractFile(name, 0, "");
    if (!member) {
      services_.report.debugLog("no member " + name + " in the package; skipped");
      continue;
    }
    // Folders only for files that really come, so a listed name the package
    // lacks leaves no empty folder behind; and none stays for a file that
    // could not be written.
    const std::vector<std::string> made = makeParentFolders(files, gameRoot, *relative);
    if (backup() && !backup()->madeFolders(made)) {
      removeFolders(files, gameRoot, made);
      services_.report.messageBox("failed to write backup for:" + target + refusedWriteAdvice(target));
      return 0;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(member->data()), static_cast<size_t>(member->size()));
    PendingFile file;
    file.relative = *relative;
    file.path = target;
    // A file that already holds these bytes is left as it is; the backup
    // keeps the version that put them there.
    if (status.kind == FileKind::File) file.stampRead = status.stamp;
    file.facts.holdsInstalled =
        status.kind == FileKind::File && status.stamp.size == bytes.size() && fileHolds(files, target, bytes);
    if (file.facts.holdsInstalled && backup()) {
      file.pieces = backup()->installedVersion(*relative, sha256Hex(bytes));
      if (!file.pieces.empty()) file.facts.origin = FileOrigin::InstalledVersion;
    }
    file.facts.backupKnows = backup() && backup()->knows(*relative);
    file.keepBackup = [&](GameBackup& kept) { return kept.keepFile(*relative, bytes); };
    file.write = [&] {
      if (!writeToDisk(files, *member, target)) return false;
      if (GameBackup* kept = backup()) {
        if (const auto stamp = stampOf(files, target)) kept->stamp(*relative, *stamp);
      }
      return true;
    };
    if (!carryOut(decideFile(file.facts), file)) {
      removeFolders(files, gameRoot, made);
      return 0;
    }
    if (GameBackup* kept = backup()) kept->crc(*relative, record->crc);
  }
  return 1;
}

bool tPatcher::skipExtra(const std::string& relative, const FileStatus& status, uint64_t size, uint32_t crc) {
  GameBackup* kept = backup();
  // The file is as the last installation left it, and that held a member of
  // this size and CRC: it holds this member's bytes, which the loader has
  // already inflated once to check.
  if (!kept || status.kind != FileKind::File || status.stamp.size != size || kept->recordedCrc(relative) != crc ||
      !kept->unchanged(relative)) {
    return false;
  }
  services_.report.debugLog("unchanged since the last installation: " + gameRoot + relative);
  kept->reuseRecorded(relative);
  ++written_.upToDate;
  return true;
}

bool tPatcher::stopping() {
  if (!stopped_ && installation_ && installation_->signals && installation_->signals->arrived()) stopped_ = true;
  return stopped_;
}

// New files that a killed installation left behind are looked for only
// beside the files this package writes (and the targets of their links), so
// the game folder is never walked as a whole.
std::vector<std::string> tPatcher::sweptFiles() {
  std::vector<std::string> paths;
  for (const auto& [sceneName, scene] : patch->scenes) {
    for (const auto& [subName, sub] : scene->subs) paths.push_back(gameRoot + sub->path);
  }
  for (const std::string& line : listedExtras()) {
    if (const auto relative = pathInFolder(line)) paths.push_back(gameRoot + *relative);
  }
  return paths;
}

std::future<tPatcher::Leftovers> tPatcher::startSweep() {
  return std::async(std::launch::async, [this, paths = sweptFiles()] { return findLeftoverFiles(paths); });
}

tPatcher::Leftovers tPatcher::findLeftoverFiles(const std::vector<std::string>& paths) const {
  FileSystem& files = services_.files;
  std::map<std::string, std::set<std::string>> byFolder;
  for (const std::string& path : paths) {
    for (const std::string& p : {path, files.linkTarget(path)}) {
      auto [folder, name] = splitPath(p);
      byFolder[folder].insert(name);
    }
  }
  Leftovers found;
  for (const auto& [folder, names] : byFolder) {
    if (auto leftovers = findLeftovers(files, folder, names); !leftovers.empty()) {
      found.emplace_back(folder, std::move(leftovers));
    }
  }
  return found;
}

void tPatcher::removeLeftoverFiles(const Leftovers& found, Reporter& report) const {
  FileSystem& files = services_.files;
  for (const auto& [folder, names] : found) {
    size_t removed = 0;
    for (const std::string& name : names) removed += files.removeFile(folder + "/" + name) ? 1 : 0;
    if (removed > 0) report.debugLog("removed " + std::to_string(removed) + " unfinished file(s) in " + folder);
  }
  // A build that was killed leaves its half-written package beside the
  // good one; a build at work holds its lock.
  if (!packageUrl_.empty() && removeUnheldBuilding(packageUrl_ + ".building")) {
    report.debugLog("removed an unfinished " + packageUrl_ + ".building");
  }
}

std::unique_ptr<GameFolderLock> tPatcher::lockGame() {
  if (!validateInstall()) {
    services_.report.messageBox(kGameNotFound);
    return nullptr;
  }
  // Two runs writing into one game folder would mix their files.
  auto lock = GameFolderLock::take(gameRoot);
  if (!lock) services_.report.messageBox("another installation is running in:" + gameRoot);
  return lock;
}

int tPatcher::doReplace() {
  stopped_ = false;
  renamesFailedIn_.clear();
  position_ = {};
  written_ = {};
  // A game prepared before the package was loaded is the one to install
  // into; anything else is looked for now.
  installation_ = std::move(prepared_);
  if (!installation_) {
    auto lock = lockGame();
    if (!lock || !patch) return 0;
    installation_ = std::make_unique<Installation>(services_, gameRoot, std::move(lock));
  } else if (!patch) {
    installation_.reset();
    return 0;
  }
  // However the installation ends, even by an exception, the archive the
  // helper worked on goes with it: a later installation must not take it.
  struct DropAhead {
    tPatcher* patcher;
    ~DropAhead() { patcher->dropAhead(); }
  };
  int done = 0;
  {
    const DropAhead dropping{this};
    done = install(*installation_);
  }
  // The signals come through again, and the lock goes, before the caller
  // hears how it ended.
  installation_.reset();
  return done;
}

int tPatcher::install(Installation& installation) {
  GameBackup& backup = installation.backup;
  // Both digests are taken while the backup loads; the package's, recorded
  // at the end, is that of the package as the installation loaded it.
  auto program = std::async(std::launch::async, [] { return programDigest(); });
  auto package = std::async(std::launch::async, [url = packageUrl_] { return digestOutsideGame(url); });
  // The unfinished files a killed run left are looked for on a thread of
  // their own while the backup loads and the plan is made (or already while
  // the package loaded, for a game locked before it): the search reads
  // only the package's tables and extra list (read on this thread, as the
  // package is one minizip handle) and the folders. They are removed once
  // the package has passed its check (an unfinished file is no game file,
  // and removing it changes nothing the game, the backup or the plan reads).
  std::future<Leftovers> sweeping =
      installation.sweeping.valid() ? std::move(installation.sweeping) : startSweep();
  // A package loaded while its extra files were still being checked is
  // refused here, before anything is written and before the backup's
  // messages, as it would have been while it loaded.
  const auto refuseDamagedPackage = [&] {
    if (const std::optional<Fault> fault = patch->extrasChecked()) {
      services_.report.messageBox(fault->detail);
      fatalError("error in reading patch:" + packageUrl_);
    }
  };
  const bool prepared = installation.loading.valid();
  if (!prepared) refuseDamagedPackage();
  // Over a backup that cannot be trusted, an installed file would be taken
  // for an original and the real one lost: nothing is written then.
  const bool loaded = prepared ? installation.loading.get() : backup.load();
  // A scene is skipped only when the last installation recorded the same
  // inputs for it and its files still carry the stamps it left; without the
  // program's own digest nothing is. The plan only reads, so the package's
  // check may still run while it is made.
  if (loaded && backup.damage().empty()) installation.plan = planInstallation(*patch, backup, program.get());
  refuseDamagedPackage();
  if (prepared) {
    backup.reportTo(services_.report);
    installation.loadReport.sayTo(services_.report);
  }
  const bool trusted = loaded && backup.reportDamage();
  removeLeftoverFiles(sweeping.get(), services_.report);
  if (!trusted) return 0;
  const InstallPlan& plan = installation.plan;
  // A package made for another version of the game would write its entries
  // onto the wrong records; nothing is written then. The archives left as
  // the last installation wrote them passed this check then.
  if (const std::string other = otherVersionArchive(*patch, gameRoot, services_.report, plan.skippedArchives);
      !other.empty()) {
    services_.report.messageBox("this translation is for another version of the game:" + other);
    return 0;
  }
  // A picture whose member is missing would stop the installation after
  // other archives were rewritten: every one is looked up first.
  if (const std::string missing = missingPictureMember(*patch, gameRoot); !missing.empty()) {
    services_.report.messageBox("the game has no member for the picture:" + missing);
    return 0;
  }
  installation.signals.emplace();

  largestArchive_ = 0;
  for (const auto& [name, scene] : patch->scenes) {
    if (plan.skipping.count(name)) continue;
    for (const auto& [subName, sub] : scene->subs) {
      if (plan.skippingArchives.count(sub.get())) continue;
      if (const auto stamp = stampOf(services_.files, gameRoot + sub->path)) {
        largestArchive_ = std::max(largestArchive_, stamp->size);
      }
    }
  }
  const std::string* lastScene = nullptr;
  // A scene counts as done once its files are in place: the scenes whose
  // files are gathered or being placed when the installation ends are
  // finished first.
  const auto failedIn = [&](const std::string& scene) {
    services_.report.messageBox("failed applying patch:" + (renamesFailedIn_.empty() ? scene : renamesFailedIn_));
    return 0;
  };
  const auto stoppedHere = [&] {
    if (!placeAll()) return failedIn("");
    services_.host.printErrorLine(lastScene ? "installation stopped after scene:" + *lastScene
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
    if (!(plan.skipping.count(name) && skipScene(*scene)) && !replaceScene(*scene)) {
      if (stopped_) return stoppedHere();
      (void)placeAll();
      return failedIn(name);
    }
    if (const auto found = plan.inputs.find(name); found != plan.inputs.end()) backup.noteScene(name, found->second);
    onCompeleteScn(*scene);
    lastScene = &name;
  }
  if (!placeAll()) return failedIn("");
  // A rename must be on disk before the pieces of the version it replaced
  // go (finishInstallation drops them), or a power cut could leave that
  // version with nothing to rebuild its original. Every other rename may
  // still be lost: the file is then the original or the version before,
  // both of which the backup knows, and the manifest's stamp of it no
  // longer matches, so the next installation writes it again.
  std::set<std::string> folders;
  const std::set<std::string> replacing = backup.replacingVersions();
  for (const auto& [relative, folder] : installation.unsyncedFolders) {
    if (replacing.count(relative)) folders.insert(folder);
  }
  for (const std::string& folder : folders) services_.files.syncFolder(folder);
  installation.unsyncedFolders.clear();
  if (!backup.finishInstallation(package.get().value_or(""))) return 0;
  // A signal during the last archive: everything is written, but the user
  // asked to stop, and is told where the installation stood.
  if (stopping()) return stoppedHere();
  return 1;
}

int tPatcher::replaceScene(tPatchScene& scene) {
  for (auto& [name, sub] : scene.subs) {
    // An archive the plan leaves as it is, unless it changed meanwhile.
    if (installation_ && installation_->plan.skippingArchives.count(sub.get()) &&
        installation_->backup.unchanged(sub->path)) {
      reuseArchive(*sub);
      continue;
    }
    if (!replaceSub(scene, *sub)) {
      // The archives written so far are dropped with their new files: each
      // stays the original its pieces file knows.
      if (installation_) installation_->waiting.clear();
      return 0;
    }
    // Its inputs go into the manifest only with the stamp that the archive
    // gets once its rename is done (renameWaiting). A scene the plan meant
    // to skip whole, installed after all, has none worked out: they are now.
    if (installation_ && programDigest() && !installation_->plan.shared.count(sub->path)) {
      const auto& inputs = installation_->plan.archiveInputs;
      const auto found = inputs.find(sub.get());
      installation_->backup.noteArchive(
          sub->path, found != inputs.end() ? found->second : archiveInputs(*patch, scene, *sub, *programDigest()));
    }
    // A scene of very many archives renames them in groups, before their
    // open files run short.
    if (installation_ && installation_->waiting.size() >= kMostWaitingArchives && !renameWaiting()) return 0;
  }
  return renameWaiting() ? 1 : 0;
}

bool tPatcher::skipScene(tPatchScene& scene) {
  GameBackup* kept = backup();
  if (!kept) return false;
  for (const auto& [name, sub] : scene.subs) {
    if (!kept->unchanged(sub->path)) return false;
  }
  for (auto& [name, sub] : scene.subs) reuseArchive(*sub);
  return true;
}

void tPatcher::reuseArchive(tSubScene& sub) {
  onStartSub(sub);
  services_.report.debugLog("unchanged since the last installation: " + gameRoot + sub.path);
  backup()->reuseRecorded(sub.path);
  ++written_.upToDate;
  onCompleteSub(sub);
}

// The archive goes to a new file that replaces the old one only when it is
// complete, so a failure or a killed process never leaves half a game file
// behind.
bool tPatcher::writeArchive(const std::string& path, std::string_view bytes) {
  auto out = services_.files.create(path);
  if (!out) return false;
  try {
    out->stream().write(bytes.data(), bytes.size());
  } catch (const StreamError& error) {
    services_.report.debugLog(std::string(error.what()) + ": " + path);
    return false;
  }
  // Outside an installation (one scene installed alone) it is renamed and
  // synced at once. In one it waits, whole, for the end of its scene
  // (replaceScene).
  if (!installation_) return services_.files.replace(*out, FolderSync::Now);
  installation_->waiting.push_back({std::move(out), path.substr(gameRoot.size()), position_.scene});
  return true;
}

bool tPatcher::renameWaiting() {
  if (!installation_) return true;
  Installation& installation = *installation_;
  // The archives are handed to the system first, so that the one sync of
  // the file system that serves their pieces files writes them too, and
  // their own syncs find little left to do.
  for (Installation::Waiting& archive : installation.waiting) {
    if (!archive.file->flushToSystem()) {
      services_.report.messageBox("failed to write:" + gameRoot + archive.relative);
      installation.waiting.clear();
      return false;
    }
  }
  for (Installation::Waiting& archive : installation.waiting) installation.ready.push_back(std::move(archive));
  installation.waiting.clear();
  for (GameBackup::WaitingPieces& pieces : installation.backup.takeWaiting()) {
    installation.readyPieces.push_back(std::move(pieces));
  }
  // While the scenes before are still being put in place, these wait for
  // them and go with the next ones, as long as those and these hold no more
  // files open than one group (the placing thread does not change how many
  // it holds).
  if (installation.placing.busy() &&
      installation.ready.size() + installation.renaming.archives.size() < kMostWaitingArchives) {
    return true;
  }
  return handReady();
}

bool tPatcher::handReady() {
  Installation& installation = *installation_;
  // One hand-over at a time, in the order the scenes were written.
  if (!finishRenames()) {
    installation.ready.clear();
    installation.readyPieces.clear();
    return false;
  }
  if (installation.ready.empty() && installation.readyPieces.empty()) return true;
  Installation::Renames& renames = installation.renaming;
  renames = {};
  renames.pieces = std::exchange(installation.readyPieces, {});
  renames.archives = std::exchange(installation.ready, {});
  renames.pending = true;
  installation.placing.start([this] { placeRenames(); });
  return true;
}

bool tPatcher::placeAll() { return installation_ && handReady() && finishRenames(); }

// On the placing thread: it reads nothing of the installation but what
// stays as it is while the installation runs (the game folder, the backup's
// folder and file system), and writes only into `renames`.
void tPatcher::placeRenames() {
  Installation::Renames& renames = installation_->renaming;
  FileSystem& files = services_.files;
  const GameBackup& kept = installation_->backup;
  // The pieces files of these archives wait under their new names: they are
  // put on disk and in place, their folder synced, before any archive they
  // rebuild is renamed.
  bool settled = false;
  renames.failedPieces = kept.placeWaiting(renames.pieces, &settled);
  if (!renames.failedPieces.empty()) {
    renames.failedScene = renames.archives.empty() ? "" : renames.archives.front().scene;
    for (const Installation::Waiting& archive : renames.archives) {
      if (archive.relative == renames.failedPieces) renames.failedScene = archive.scene;
    }
    return;
  }
  const uint64_t backupDevice = settled ? files.status(kept.folder()).device : 0;
  for (Installation::Waiting& archive : renames.archives) {
    // Each new archive is on disk before its rename: put there by the sync
    // of the backup's file system when it lies on the same one (an archive
    // behind a link may not), else synced now. The rename itself needs no
    // sync of its own folder now, since either file is a state the backup
    // knows (install() says when it gets one).
    const std::string folder = folderOf(archive.file->target());
    const bool onDisk = backupDevice != 0 && files.status(folder).device == backupDevice;
    if (!files.replace(*archive.file, onDisk ? FolderSync::Settled : FolderSync::Later)) {
      renames.failedArchive = archive.relative;
      renames.failedScene = archive.scene;
      return;
    }
    renames.placed.push_back({archive.relative, folder, stampOf(files, gameRoot + archive.relative)});
  }
}

bool tPatcher::finishRenames() {
  if (!installation_ || !installation_->renaming.pending) return true;
  Installation& installation = *installation_;
  Installation::Renames& renames = installation.renaming;
  installation.placing.wait();
  renames.pending = false;
  for (const Installation::Renames::Placed& placed : renames.placed) {
    installation.unsyncedFolders[placed.relative] = placed.folder;
    if (placed.stamp) installation.backup.stamp(placed.relative, *placed.stamp);
  }
  // The files not renamed are dropped here, on the thread that made them:
  // each archive stays the original its pieces file knows.
  renames.pieces.clear();
  renames.archives.clear();
  if (renames.failedPieces.empty() && renames.failedArchive.empty()) return true;
  if (!renames.failedPieces.empty()) {
    const std::string path = gameRoot + renames.failedPieces;
    services_.report.messageBox("failed to write backup for:" + path + refusedWriteAdvice(path));
  } else {
    services_.report.messageBox("failed to write:" + gameRoot + renames.failedArchive);
  }
  renamesFailedIn_ = renames.failedScene;
  return false;
}

bool tPatcher::renamePending(const std::string& relative) const {
  // Only an archive the package names twice is read again after it was
  // written.
  if (!installation_ || !installation_->plan.shared.count(relative)) return false;
  const auto named = [&](const std::vector<Installation::Waiting>& archives) {
    return std::any_of(archives.begin(), archives.end(),
                       [&](const Installation::Waiting& archive) { return archive.relative == relative; });
  };
  return named(installation_->ready) || (installation_->renaming.pending && named(installation_->renaming.archives));
}

bool tPatcher::carryOut(FileStep step, const PendingFile& file) {
  GameBackup* kept = backup();
  // Stamped only when nothing wrote the file while it was read.
  const auto stillAsRead = [&] {
    return file.stampRead && stampOf(services_.files, file.path) == file.stampRead;
  };
  switch (step) {
    case FileStep::LeaveUntranslated:
      // A file too short for a header opened with no members, and a table
      // cut short would run into the members written back: it stays as it is.
      services_.report.debugLog("no archive table in " + file.path + ", left as it is");
      ++written_.untranslated;
      return true;
    case FileStep::KeepInstalled:
      if (kept) {
        kept->reuse(file.relative, file.pieces);
        if (stillAsRead()) kept->stamp(file.relative, *file.stampRead);
      }
      break;
    case FileStep::LeaveOriginal:
      if (kept && stillAsRead()) kept->untouched(file.relative, *file.stampRead);
      break;
    case FileStep::RecordOriginal:
    case FileStep::Write:
      if (kept && !file.keepBackup(*kept)) {
        services_.report.messageBox("failed to write backup for:" + file.path + refusedWriteAdvice(file.path));
        return false;
      }
      break;
  }
  if (step != FileStep::Write) {
    if (file.archive && step != FileStep::RecordOriginal) services_.report.debugLog("already installed: " + file.path);
    ++written_.upToDate;
    return true;
  }
  if (!file.write()) {
    services_.report.messageBox("failed to write:" + file.path + refusedWriteAdvice(file.path));
    return false;
  }
  if (!file.archive) {
    ++written_.extras;
    return true;
  }
  // Its stamp is taken once it is renamed into place (renameWaiting).
  ++written_.archives;
  return true;
}

struct tPatcher::Prepared {
  const tPatchScene* scene = nullptr;
  const tSubScene* sub = nullptr;
  std::string path;  // in the game folder
  // What it found, said when the archive is taken.
  HeldReport report;
  // Its stamp before it was read, and its original.
  std::optional<FileStamp> stampRead;
  std::optional<std::string> original;
  GameBackup::Origin origin;
  bool readFailed = false;  // the file could not be read
  bool ready = false;       // translated; else `report` says why not
  tXARC archive;
  std::vector<MemberSpan> originalMembers;
  std::shared_ptr<ByteBuffer> installed = std::make_shared<ByteBuffer>();
  std::string_view installedBytes;
  FileFacts facts;
  FileStep step = FileStep::LeaveOriginal;
  GameBackup::Pieces pieces;  // when the step keeps a backup
};

namespace {

// Two archives are worked on at once (one written, the next translated)
// only when together they are no larger than the largest archive the
// installation writes, or than this: the installation's peak stays what
// its largest archive needs alone.
constexpr uint64_t kAheadBytes = uint64_t{8} << 20;

}  // namespace

std::unique_ptr<tPatcher::Prepared> tPatcher::readArchive(const tPatchScene& scene, const tSubScene& sub) {
  auto prepared = std::make_unique<Prepared>();
  Prepared& p = *prepared;
  p.scene = &scene;
  p.sub = &sub;
  p.path = gameRoot + sub.path;
  p.report.debugLog("patching " + p.path);
  // A game translated before is translated again from its original, so that
  // nothing of the earlier package stays.
  p.stampRead = stampOf(services_.files, p.path);
  Result<std::string> read = readWholeFile(services_.files, p.path);
  if (read) p.original = std::move(read.value());
  if (p.original && backup() && !backup()->toOriginal(sub.path, p.original, &p.origin, &p.report)) {
    // The backup that should rebuild it is damaged, as its message says.
    p.original.reset();
    return prepared;
  }
  p.readFailed = !p.original;
  p.facts.backupKnows = backup() && backup()->knows(sub.path);
  return prepared;
}

void tPatcher::translateArchive(Prepared& p) {
  if (!p.original) return;
  const tSubScene& sub = *p.sub;
  tXARC& archive = p.archive;
  archive.subId = strToInt(sub.name);
  MemoryStream originalStream(p.original->data(), p.original->size());
  if (!archive.open(originalStream, p.path, p.report)) return;
  p.originalMembers = memberSpans(archive);
  if (!applyToArchive(p.report, *p.scene, sub, archive)) return;

  const GameBackup::Origin& origin = p.origin;
  p.facts.origin = origin.asStored          ? FileOrigin::Original
                   : origin.pieces.empty() ? FileOrigin::ChangedSince
                                           : FileOrigin::InstalledVersion;
  p.facts.writable = archive.savable();
  if (p.facts.writable) {
    // Room for the translated archive up front, so that saving it never
    // moves what it has written so far; room never touched costs no memory.
    p.installed->bytes().reserve(p.original->size() + p.original->size() / 4 + 65536);
    BufferStream saved(p.installed);
    archive.save(saved);
    p.installedBytes = std::string_view(reinterpret_cast<const char*>(p.installed->data()), p.installed->size());
    // What stands in the game already holds these bytes when its size is
    // theirs and its bytes (an original) or their digest (the installed
    // version the backup took back) are.
    p.facts.holdsInstalled =
        p.stampRead && p.stampRead->size == p.installedBytes.size() &&
        (origin.asStored ? *p.original == p.installedBytes
                         : !origin.pieces.empty() && sha256Hex(p.installedBytes) == origin.installed);
  }
  p.step = decideFile(p.facts);
  if (p.step == FileStep::RecordOriginal || p.step == FileStep::Write) {
    p.pieces = GameBackup::piecesFor(p.report, sub.path, p.original, p.installedBytes,
                                     sharedMembers(p.originalMembers, archive, p.installed->size()), origin.digest);
  }
  p.ready = true;
}

void tPatcher::startAhead(const tPatchScene& scene, const tSubScene& sub, uint64_t current) {
  if (!installation_ || ahead_) return;
  // The sub-scene after this one that the plan does not skip: in this
  // scene, else in the next scene it does not skip whole.
  const InstallPlan& plan = installation_->plan;
  const auto firstWritten = [&](const tPatchScene& in, const tSubScene* after) -> const tSubScene* {
    bool passed = after == nullptr;
    for (const auto& [name, candidate] : in.subs) {
      if (passed && !plan.skippingArchives.count(candidate.get())) return candidate.get();
      passed = passed || candidate.get() == after;
    }
    return nullptr;
  };
  const tPatchScene* nextScene = &scene;
  const tSubScene* next = firstWritten(scene, &sub);
  bool after = false;
  for (const auto& [name, candidate] : patch->scenes) {
    if (next) break;
    if (after && !plan.skipping.count(name)) {
      nextScene = candidate.get();
      next = firstWritten(*candidate, nullptr);
    }
    after = after || candidate.get() == &scene;
  }
  if (!next) return;
  // An archive this scene also writes is read in a later scene only once
  // this one has renamed it into place, as it would be without working
  // ahead.
  if (nextScene != &scene) {
    for (const auto& [name, mine] : scene.subs) {
      if (mine->path == next->path) return;
    }
  }
  // Likewise for a scene before, whose files are still being put in place.
  if (renamePending(next->path)) return;
  const std::optional<FileStamp> size = stampOf(services_.files, gameRoot + next->path);
  if (!size || current + size->size > std::max(kAheadBytes, largestArchive_)) return;
  ahead_ = readArchive(*nextScene, *next);
  Prepared* prepared = ahead_.get();
  installation_->ahead.start([prepared] { translateArchive(*prepared); });
}

std::unique_ptr<tPatcher::Prepared> tPatcher::takePrepared(const tPatchScene& scene, const tSubScene& sub) {
  if (ahead_ && ahead_->sub == &sub) {
    installation_->ahead.wait();
    return std::move(ahead_);
  }
  dropAhead();
  auto prepared = readArchive(scene, sub);
  translateArchive(*prepared);
  return prepared;
}

void tPatcher::dropAhead() {
  if (!ahead_) return;
  // What the archive's translation threw is dropped with it: without
  // working ahead, it would not have been translated yet.
  try {
    installation_->ahead.wait();
  } catch (...) {
  }
  ahead_.reset();
}

int tPatcher::replaceSub(tPatchScene& scene, tSubScene& sub) {
  onStartSub(sub);
  // An archive a scene before also wrote is read once that scene put it in
  // place.
  if (renamePending(sub.path) && !placeAll()) return 0;
  std::unique_ptr<Prepared> prepared = takePrepared(scene, sub);
  Prepared& p = *prepared;
  p.report.sayTo(services_.report);
  if (p.readFailed) {
    // A stop asked for during a slow read interrupts it; that is no fault of
    // the file.
    if (stopping()) return 0;
    services_.report.messageBox(kFailedToRead + p.path);
    return 0;
  }
  if (!p.ready) return 0;
  // A signal that came while the archive was read or changed: the game file
  // is still whole, so it is left as it was.
  if (stopping()) return 0;
  // The next archive is translated while this one's files are written.
  startAhead(scene, sub, p.original->size());

  PendingFile file;
  file.archive = true;
  file.relative = sub.path;
  file.path = p.path;
  file.stampRead = p.stampRead;
  file.pieces = p.origin.pieces;
  file.facts = p.facts;
  file.keepBackup = [&](GameBackup& kept) {
    // In an installation the pieces file and the archive wait, both whole
    // in new files, for the end of the scene, which puts the scene's pieces
    // files on disk and in place before any of its archives.
    return installation_ ? kept.keepWaiting(p.pieces) : kept.keep(p.pieces, FolderSync::Now);
  };
  file.write = [&] { return writeArchive(file.path, p.installedBytes); };
  if (!carryOut(p.step, file)) return 0;
  onCompleteSub(sub);
  return 1;
}

bool applyToArchive(Reporter& report, const tPatchScene& scene, const tSubScene& sub, tXARC& archive) {
  const auto xrc = archive.getXRC();
  if (xrc && scene.trz) {
    applyTrz(*xrc, *scene.trz, report);
  } else {
    report.debugLog("no text to apply in sub-scene " + sub.name + " of " + scene.name);
  }
  if (xrc && scene.name == kGlobalScene) setHeroineName(*xrc);
  if (sub.hasImages()) {
    for (const auto& image : *sub.images) {
      const auto member = archive.findFile(image->oname);
      if (!member) {
        report.messageBox("failed applying image patch:" + image->oname);
        return false;
      }
      member->replaceBank(image->imagebuffer);
    }
  }
  return true;
}

int tPatcher::replaceSceneByName(const std::string& name) {
  validateInstall();
  if (!patch) return 0;
  const auto found = patch->scenes.find(name);
  if (found != patch->scenes.end()) replaceScene(*found->second);
  return 0;
}

int tPatcher::replaceMirel(tXRC& xrc) {
  setHeroineName(xrc);
  return 0;
}

int tPatcher::onStartSub(tSubScene&) { return 0; }

int tPatcher::onStartScn(tPatchScene& scene) {
  services_.report.debugLog("processing scene...." + scene.name);
  return 0;
}

int tPatcher::onCompleteSub(tSubScene&) { return 0; }

int tPatcher::onCompeleteScn(tPatchScene&) {
  services_.report.debugLog("\tdone!");
  return 0;
}

}  // namespace vh
