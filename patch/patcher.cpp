#include "patch/patcher.h"

#include <sys/stat.h>

#include "app/desktop.h"
#include "common/bytes.h"
#include "common/files.h"
#include "common/replacing_file.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "patch/game_folder.h"
#include "patch/patch.h"
#include "support/registry.h"
#include "support/zip.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh {

namespace {

constexpr const char* kGlobalScene = "Global";
constexpr size_t kHeroineRecord = 4243;
// 米蕾 in GBK, then a space: the heroine's name as the game shows it.
const std::string kHeroineName = "\xC3\xD7\xC0\xD9\x20";

std::string trimControls(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

// Folders on the way to an extra file inside the game folder.
void makeParentFolders(const std::string& root, const std::string& relative) {
  size_t at = 0;
  while ((at = relative.find('/', at)) != std::string::npos) {
    mkdir((root + relative.substr(0, at)).c_str(), 0755);
    ++at;
  }
}

}  // namespace

tPatcher::~tPatcher() = default;

int tPatcher::getRegPath() {
  const auto key = OpenRegKey(kGameKey);
  const std::string root = key ? trimControls(key->getstring(kGameValue)) : "";
  if (root.empty()) {
    desktop().messageBox("Cannot find VHW info in registry. Please specify install path.");
    return 0;
  }
  gameRoot = root;
  return 1;
}

int tPatcher::validateInstall() {
  if (gameValid == 1) return 1;
  if (!getRegPath()) gameRoot = desktop().chooseFolder("Please specify your VHW installation", "");
  if (gameRoot.empty()) return 0;
  gameRoot = normalizeGameRoot(resolveDrivePath(normalizeGameRoot(gameRoot)));
  desktop().debugLog("game folder: " + gameRoot);
  if (!folderExists(gameRoot)) return 0;
  if (!fileExists(gameRoot + "x.xarc")) return 0;
  gameValid = 1;
  return 1;
}

int tPatcher::loadPatch(const std::string& url) {
  patch = std::make_shared<tPatch>();
  return patch->open(url) ? 1 : 0;
}

int tPatcher::replaceExtra() {
  if (!patch || !patch->z) return 0;
  const auto list = patch->z->ExtractFile("extra.lst", 0, "");
  if (!list) return 0;
  while (!list->atEnd()) {
    const std::string line = list->readLine();
    if (line.empty()) continue;
    desktop().printLine("extra/" + line);
    // The list comes from the package: a line must not reach outside the
    // game folder, whatever it says.
    if (escapesFolder(line)) {
      desktop().messageBox("refused extra file outside the game folder:" + line);
      continue;
    }
    const std::string relative = toSlashes(line);
    makeParentFolders(gameRoot, relative);
    patch->z->ExtractFileToDisk("extra/" + line, gameRoot + relative, 0, "");
  }
  return 0;
}

int tPatcher::doReplace() {
  if (!validateInstall()) {
    desktop().messageBox("Cannot find Varnhollow installation.");
    return 0;
  }
  if (!patch) return 0;
  replaceExtra();
  for (auto& [name, scene] : patch->scenes) {
    onStartScn(*scene);
    if (!replaceScene(*scene)) {
      desktop().messageBox("failed applying patch:" + name);
      return 0;
    }
    onCompeleteScn(*scene);
  }
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
  tXARC archive;
  archive.subId = strToInt(sub.name);
  if (!archive.open(path)) return 0;

  const auto xrc = archive.getXRC();
  if (xrc && scene.trz) {
    applyTrz(*xrc, *scene.trz);
  } else {
    desktop().debugLog("no text to apply in " + path);
  }
  if (xrc && scene.name == kGlobalScene) replaceMirel(*xrc);
  if (sub.hasImages()) {
    for (const auto& image : *sub.images) {
      const auto member = archive.findFile(image->oname);
      if (!member) {
        desktop().messageBox("failed applying image patch:" + image->oname);
        return 0;
      }
      member->replaceBank(image->imagebuffer);
    }
  }

  if (!archive.savable()) {
    // A file too short for a header opened with no members, so nothing in
    // it changed; it stays as it is.
    desktop().debugLog("no archive table in " + path + ", left as it is");
    onCompleteSub(sub);
    return 1;
  }

  // The archive goes to a new file that replaces the old one only when it
  // is complete, so a failure or a killed process never leaves half a game
  // file behind.
  auto out = ReplacingFile::create(path);
  bool written = false;
  if (out) {
    try {
      archive.save(out->stream());
      written = out->commit();
    } catch (const StreamError& error) {
      desktop().debugLog(std::string(error.what()) + ": " + path);
    }
  }
  if (!written) {
    desktop().messageBox("failed to write:" + path);
    return 0;
  }
  onCompleteSub(sub);
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
  desktop().debugLog("processing scene...." + scene.name);
  return 0;
}

int tPatcher::onCompleteSub(tSubScene&) { return 0; }

int tPatcher::onCompeleteScn(tPatchScene&) {
  desktop().debugLog("\tdone!");
  return 0;
}

}  // namespace vh
