#include "patch/patch.h"

#include "app/desktop.h"
#include "common/bytes.h"
#include "common/files.h"
#include "formats/scene_list.h"
#include "patch/load_budget.h"
#include "support/zip.h"
#include "translation/trz.h"

namespace vh {

namespace {

// The image's member: "images/" + its name without the extension + ".xmg".
// The extension starts at the last "." that no "/" follows.
std::string imageMember(const std::string& name) {
  const std::string path = toSlashes(name);
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return "images/" + (hasExtension ? path.substr(0, dot) : path) + ".xmg";
}

const std::string kTooLarge = "patch too large to load:";
constexpr const char* kDamagedPackage = "patch file damaged";
const std::string kDamagedMember = "damaged patch member:";
const std::string kRefusedArchivePath = "refused archive path outside the game folder:";

// What the tables keep per scene and per sub-scene: the object with its
// shared count, and its node in the owner's map with the key's copy.
constexpr uint64_t kSceneCost = 256;
constexpr uint64_t kSubSceneCost = 256;
// A name of more than the short-string capacity takes a heap block.
uint64_t textCost(const std::string& text) { return text.size() > 15 ? text.size() + 25 : 0; }
// An add-on record in the add-on list: its node's links and header.
constexpr uint64_t kListNodeCost = 32;

}  // namespace

int tSubScene::addImage(std::shared_ptr<tPatchImage> image) {
  if (!images) images = std::make_shared<List<std::shared_ptr<tPatchImage>>>();
  images->push_back(std::move(image));
  return 0;
}

tPatch::tPatch() : budget_(std::make_shared<LoadBudget>(-1)) {}

tPatch::~tPatch() {
  if (z) z->CloseZip();
}

std::shared_ptr<Stream> tPatch::extract(const std::string& member) {
  if (!z) return nullptr;
  const int64_t size = z->memberSize(member, 0);
  if (size < 0) return nullptr;
  // Refused before it is inflated: a small package may name a member of a
  // gigabyte.
  if (!budget_->admit(static_cast<uint64_t>(size))) {
    refuse(kTooLarge + member);
    return nullptr;
  }
  auto stream = z->ExtractFile(member, 0, "");
  if (!stream) {
    budget_->release(static_cast<uint64_t>(size));
    // A member the installation depends on that cannot be read back as it
    // was stored would install part of the translation; the package is
    // refused.
    if (z->CheckFile(member, 0, "") != ZipReader::Member::Missing) refuse(kDamagedMember + member);
    return nullptr;
  }
  return std::shared_ptr<Stream>(stream.get(), [stream, budget = budget_, size](Stream*) {
    budget->release(static_cast<uint64_t>(size));
  });
}

bool tPatch::hold(uint64_t bytes, const std::string& member) {
  if (budget_->hold(bytes)) return true;
  refuse(kTooLarge + member);
  return false;
}

void tPatch::refuse(const std::string& message) {
  if (refusal.empty()) refusal = message;
}

void tPatch::checkExtra() {
  auto list = extract("extra.lst");
  if (!list) return;
  while (!list->atEnd()) {
    const std::string line = list->readLine();
    // The installer names, and refuses, a line that would leave the game
    // folder; it never reads that member.
    if (line.empty() || escapesFolder(line)) continue;
    if (z->CheckFile("extra/" + line, 0, "") == ZipReader::Member::Damaged) refuse(kDamagedMember + "extra/" + line);
  }
}

int tPatch::open(const std::string& url) {
  budget_ = std::make_shared<LoadBudget>(fileSize(url));
  z = std::make_shared<ZipReader>();
  if (!z->OpenZip(url)) {
    // A file that is there but cannot be opened as a package was cut short
    // or spoilt on its way; only a file that is not there is "not found".
    const FileKind kind = fileKind(url);
    desktop().messageBox(kind == FileKind::Missing ? "patch file not found"
                         : kind == FileKind::File  ? kDamagedPackage
                                                   : "patch file is not a regular file:" + url);
    return 0;
  }
  // A refusal names the member or path at fault in place of the step's own
  // message.
  if (!readSceneList()) {
    desktop().messageBox(refusal.empty() ? "error in reading scenelist" : refusal);
    return 0;
  }
  readAddon();
  if (!refusal.empty() || !readTRZ()) {
    desktop().messageBox(refusal.empty() ? "error in reading translation data" : refusal);
    return 0;
  }
  checkExtra();
  if (!refusal.empty()) {
    desktop().messageBox(refusal);
    return 0;
  }
  return 1;
}

int tPatch::readSceneList() {
  auto list = extract("patchscene.lst");
  if (!list) return 0;
  std::shared_ptr<tPatchScene> scene;
  std::shared_ptr<tSubScene> sub;
  while (!list->atEnd()) {
    const std::string line = list->readLine();
    if (line == ">>") continue;
    std::string key, value;
    splitKeyValue(line, key, value);
    if (key == "scene") {
      if (!hold(kSceneCost + 2 * textCost(value), "patchscene.lst")) return 0;
      scene = std::make_shared<tPatchScene>();
      scene->name = value;
      scenes.insert_or_assign(value, scene);
      ++scncount;
      sub.reset();
    } else if (key == "sub") {
      // A sub-scene before any scene has no owner: the builder never writes
      // one, and it is ignored.
      if (!scene) continue;
      if (!hold(kSubSceneCost + 2 * textCost(value), "patchscene.lst")) return 0;
      sub = std::make_shared<tSubScene>();
      sub->name = value;
      scene->subs.insert_or_assign(value, sub);
      ++scene->subcount;
    } else if (key == "path") {
      if (!sub) continue;
      // The installer joins the path to the game folder and writes there: a
      // package must not reach any other file through it.
      if (escapesFolder(value)) {
        refuse(kRefusedArchivePath + value);
        return 0;
      }
      if (!hold(textCost(value), "patchscene.lst")) return 0;
      sub->path = value;
    }
  }
  return 1;
}

int tPatch::readAddon() {
  auto list = extract("addon.lst");
  if (!list) return 0;
  while (!list->atEnd()) {
    const std::string line = list->readLine();
    auto member = extract("addon/" + line);
    if (!refusal.empty()) return 0;
    if (!member) continue;
    tTransRecord record = readAddonRecord(*member);
    if (!hold(record.footprint() + kListNodeCost, "addon/" + line)) return 0;
    // Front insertion: the first add-on listed ends up last and so, applied
    // after the others, wins over them.
    addonRecords.push_front(std::move(record));
  }
  return 0;
}

tTransRecord tPatch::readAddonRecord(Stream& stream) {
  tTransRecord record;
  while (!stream.atEnd()) {
    const std::string line = stream.readLine();
    std::string key, value;
    splitKeyValue(line, key, value);
    if (key == "id") {
      record.setId(value);
    } else if (key == "type") {
      record.setType(value);
    } else if (key == "length") {
      record.length = strToInt(value);
    } else if (key == "value") {
      record.value = value;
    } else if (key == "value::") {
      // Every following line, each with its line feed, to the member's end.
      while (!stream.atEnd()) record.value += stream.readLine() + "\n";
    }
  }
  return record;
}

int tPatch::readTRZ() {
  for (auto& [name, scene] : scenes) {
    const std::string memberName = "trans/" + name + ".trz";
    auto member = extract(memberName);
    if (!refusal.empty()) return 0;
    if (!member) continue;
    auto trz = std::make_shared<tTrz>();
    trz->maxFootprint = budget_->room();
    trz->open(*member);
    if (trz->tooLarge) {
      refuse(kTooLarge + memberName);
      return 0;
    }
    (void)budget_->hold(trz->footprint);  // within the room it was given
    scene->trz = std::move(trz);
    checkAddon(*scene);
    if (!refusal.empty()) return 0;
  }
  return 1;
}

int tPatch::checkAddon(tPatchScene& scene) {
  if (!scene.trz) return 0;
  for (const auto& record : addonRecords) {
    if (record.scnId != scene.name) continue;
    if (scene.trz->records.size() >= tTrz::kMaxEntries) {
      refuse(kTooLarge + "trans/" + scene.name + ".trz");
      return 0;
    }
    if (!hold(record.footprint(), "addon.lst")) return 0;
    desktop().debugLog(record.scnId);
    scene.trz->records.push_back(record);
  }
  return 0;
}

int tPatch::readImages() {
  auto list = extract("images/images.lst");
  if (!list) return 1;
  auto pending = std::make_shared<tPatchImage>();
  while (!list->atEnd()) {
    const std::string line = list->readLine();
    std::string key, value;
    splitKeyValue(line, key, value);
    if (key == "name") {
      pending->name = value;
    } else if (key == "origin") {
      pending->oname = value;
    } else if (key == "scene") {
      pending->scenename = value;
    } else if (key == "sub") {
      pending->subname = value;
    } else if (key == ">>") {
      const auto scene = scenes.find(pending->scenename);
      std::shared_ptr<tSubScene> sub;
      if (scene != scenes.end()) {
        const auto found = scene->second->subs.find(pending->subname);
        if (found != scene->second->subs.end()) sub = found->second;
      }
      if (!sub) {
        desktop().messageBox("Invalid image patch:" + pending->name);
        return 0;
      }
      const std::string memberName = imageMember(pending->name);
      auto member = extract(memberName);
      if (!member) {
        // A damaged or oversized member is named as such; only one that is
        // not there at all is "not found".
        desktop().messageBox(refusal.empty() ? "Image patch not found:" + pending->name : refusal);
        return 0;
      }
      const auto size = static_cast<size_t>(member->size());
      pending->imagebuffer = std::make_shared<ByteBuffer>();
      pending->imagebuffer->readFrom(*member, size);
      member.reset();
      // The image stays in memory until the installation has written it.
      if (!hold(size, memberName)) {
        desktop().messageBox(refusal);
        return 0;
      }
      sub->addImage(pending);
      pending = std::make_shared<tPatchImage>();
    }
  }
  return 1;
}

}  // namespace vh
