#include "package/patch.h"

#include <atomic>
#include <thread>
#include <utility>

#include "common/bytes.h"
#include "common/files.h"
#include "common/key_value.h"
#include "common/line_reader.h"
#include "common/report.h"
#include "formats/scene_list.h"
#include "package/load_budget.h"
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

// Longer than every key of an add-on record ("value::").
constexpr size_t kLongestAddonKey = 8;
// What is held of an add-on line other than its value.
constexpr size_t kHeldAddonLine = 1 << 16;

}  // namespace

// The extra files are the package's largest members (a font of tens of
// megabytes), and loading only reads them through to check them. That is
// done on a thread of its own, with a reader of its own over the same file,
// while the tables are read on the loading thread; the loading thread takes
// the verdict where the check has always stood, so that a package with
// several faults is refused for the same one as before.
class ExtraFilesCheck {
 public:
  // The list, and the second reader's index, come out of the program's own
  // share of the load budget: above this they are checked on the loading
  // thread, as before, against the budget.
  static constexpr uint64_t kMostBytes = uint64_t{2} << 20;

  struct Verdict {
    // False when this reader could not open the package or read its list:
    // the loading thread then checks the list itself, and refuses what
    // needs refusing.
    bool listRead = false;
    // Each member checked, as this reader's directory records it.
    std::vector<std::pair<std::string, ZipReader::Recorded>> checked;
    std::optional<std::string> damaged;  // the first member that failed
  };

  // Whatever the check throws (a directory it cannot read, memory) leaves
  // the verdict unread, so that the loading thread meets it itself: thrown
  // out of the thread, it would end the program.
  // A member `known` names, as the build that has just written the package
  // knows it, is checked by its stored bytes' CRC-32 (ZipReader::CheckFile).
  ExtraFilesCheck(std::string url, KnownStreams known)
      : known_(std::move(known)),
        worker_([this, url = std::move(url)] {
          try {
            verdict_ = run(url);
          } catch (...) {
            verdict_ = Verdict{};
          }
        }) {}
  ~ExtraFilesCheck() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
  }
  ExtraFilesCheck(const ExtraFilesCheck&) = delete;
  ExtraFilesCheck& operator=(const ExtraFilesCheck&) = delete;

  const Verdict& wait() {
    if (worker_.joinable()) worker_.join();
    return verdict_;
  }

 private:
  Verdict run(const std::string& url) const {
    Verdict verdict;
    ZipReader reader;
    if (!reader.OpenZip(url) || reader.indexBytes() > kMostBytes) return verdict;
    const int64_t size = reader.memberSize(kExtraList, 0);
    if (size < 0) {
      verdict.listRead = true;  // no list, nothing to check
      return verdict;
    }
    if (static_cast<uint64_t>(size) + reader.indexBytes() > kMostBytes) return verdict;
    const auto list = reader.ExtractFile(kExtraList, 0, "");
    if (!list) return verdict;
    verdict.listRead = true;
    while (!list->atEnd() && !stop_) {
      const std::string line = list->readLine();
      if (line.empty() || escapesFolder(line)) continue;
      const std::string member = "extra/" + line;
      const auto stream = known_.find(member);
      const ZipReader::Member found =
          stream != known_.end() ? reader.CheckFile(member, 0, "", stream->second) : reader.CheckFile(member, 0, "");
      if (found == ZipReader::Member::Missing) continue;
      verdict.checked.emplace_back(member, reader.memberRecord(member, 0).value_or(ZipReader::Recorded{}));
      if (found == ZipReader::Member::Damaged) {
        verdict.damaged = member;
        break;
      }
    }
    return verdict;
  }

  static constexpr const char* kExtraList = "extra.lst";
  const KnownStreams known_;
  std::atomic<bool> stop_{false};
  Verdict verdict_;
  std::thread worker_;  // last: it starts once the rest is built
};

int tSubScene::addImage(std::shared_ptr<tPatchImage> image) {
  if (!images) images = std::make_shared<List<std::shared_ptr<tPatchImage>>>();
  images->push_back(std::move(image));
  return 0;
}

tPatch::tPatch(Reporter& report) : report_(report), budget_(std::make_shared<LoadBudget>(-1)) {}

tPatch::~tPatch() {
  if (z) z->CloseZip();
}

std::shared_ptr<Stream> tPatch::extract(const std::string& member) {
  if (!z) return nullptr;
  const int64_t size = z->memberSize(member, 0);
  if (size < 0) return nullptr;
  // Refused before it is inflated: a small package may name a member of a
  // gigabyte.
  if (!budget_->hold(static_cast<uint64_t>(size))) {
    refuse(FaultKind::BadSize, kTooLarge + member);
    return nullptr;
  }
  auto stream = z->ExtractFile(member, 0, "");
  if (!stream) {
    budget_->release(static_cast<uint64_t>(size));
    // A member the installation depends on that cannot be read back as it
    // was stored would install part of the translation; the package is
    // refused.
    if (z->CheckFile(member, 0, "") != ZipReader::Member::Missing) refuse(FaultKind::Damaged, kDamagedMember + member);
    return nullptr;
  }
  return std::shared_ptr<Stream>(stream.get(), [stream, budget = budget_, size](Stream*) {
    budget->release(static_cast<uint64_t>(size));
  });
}

std::unique_ptr<ZipInflateStream> tPatch::stream(const std::string& member) {
  if (!z || z->memberSize(member, 0) < 0) return nullptr;
  auto stream = z->ExtractStream(member, 0, "");
  if (!stream) refuse(FaultKind::Damaged, kDamagedMember + member);
  return stream;
}

bool tPatch::finished(ZipInflateStream& stream, const std::string& member) {
  // What was read from a member that then fails its check is not to be
  // trusted: the package is refused.
  if (stream.finish()) return true;
  refuse(FaultKind::Damaged, kDamagedMember + member);
  return false;
}

bool tPatch::hold(uint64_t bytes, const std::string& member) {
  if (budget_->hold(bytes)) return true;
  refuse(FaultKind::BadSize, kTooLarge + member);
  return false;
}

void tPatch::refuse(FaultKind kind, const std::string& message) {
  if (!refusal.empty()) return;
  refusal = message;
  refusalKind_ = kind;
}

void tPatch::takeExtraCheck(ExtraFilesCheck* check) {
  if (!check) return checkExtra();
  const ExtraFilesCheck::Verdict& verdict = check->wait();
  // The other reader met this very package only if every member it checked
  // lies where this reader's directory puts it, with the same size and
  // CRC-32; else, or without its list, the check is made again here.
  bool same = verdict.listRead;
  for (const auto& [member, recorded] : verdict.checked) same = same && z->memberRecord(member, 0) == recorded;
  if (!same) return checkExtra();
  if (verdict.damaged) refuse(FaultKind::Damaged, kDamagedMember + *verdict.damaged);
}

void tPatch::checkExtra() {
  auto list = extract("extra.lst");
  if (!list) return;
  while (!list->atEnd()) {
    const std::string line = list->readLine();
    // The installer names, and refuses, a line that would leave the game
    // folder; it never reads that member.
    if (line.empty() || escapesFolder(line)) continue;
    if (z->CheckFile("extra/" + line, 0, "") == ZipReader::Member::Damaged) refuse(FaultKind::Damaged, kDamagedMember + "extra/" + line);
  }
}

void tPatch::readFingerprintList() {
  auto list = extract(kFingerprintMember);
  if (!list) return;
  auto read = readFingerprints(*list);
  // A list that cannot be read would let the check pass a game it was
  // meant to stop.
  if (!read) return refuse(FaultKind::Damaged, kDamagedMember + kFingerprintMember);
  // Each archive's entry keeps a map node besides its text.
  constexpr uint64_t kEntryCost = 96;
  if (!hold(static_cast<uint64_t>(list->size()) + read->size() * kEntryCost, kFingerprintMember)) return;
  fingerprints = std::move(*read);
}

std::optional<Fault> tPatch::read(const std::string& url) { return read(url, true, {}); }

std::optional<Fault> tPatch::read(const std::string& url, bool wait, KnownStreams known) {
  pendingCheck_.reset();
  budget_ = std::make_shared<LoadBudget>(fileSize(url));
  z = std::make_shared<ZipReader>();
  if (!z->OpenZip(url)) {
    if (!z->refusal().empty()) report_.debugLog(z->refusal());
    // A file that is there but cannot be opened as a package was cut short
    // or spoilt on its way, or its members share their bytes; only a file
    // that is not there is "not found".
    const FileKind kind = fileKind(url);
    if (kind == FileKind::Missing) return Fault{FaultKind::CannotOpen, "patch file not found"};
    if (kind == FileKind::File) return Fault{FaultKind::Damaged, kDamagedPackage};
    return Fault{FaultKind::CannotOpen, "patch file is not a regular file:" + url};
  }
  // The reader's index of the members stays for the whole run.
  if (!hold(z->indexBytes(), url)) return refusalOr(FaultKind::BadSize, "");
  std::unique_ptr<ExtraFilesCheck> extraCheck;
  if (const int64_t list = z->memberSize("extra.lst", 0);
      list >= 0 && z->indexBytes() + static_cast<uint64_t>(list) <= ExtraFilesCheck::kMostBytes) {
    extraCheck = std::make_unique<ExtraFilesCheck>(url, std::move(known));
  }
  // A refusal names the member or path at fault in place of the step's own
  // message.
  if (!readSceneList()) return refusalOr(FaultKind::Damaged, "error in reading scenelist");
  if (scenesRead) scenesRead();
  readAddon();
  if (!refusal.empty() || !readTRZ()) return refusalOr(FaultKind::Damaged, "error in reading translation data");
  const bool checkLater = !wait && extraCheck;
  if (!checkLater) takeExtraCheck(extraCheck.get());
  readFingerprintList();
  if (checkLater && !refusal.empty()) {
    // A package with both faults is refused for its extra files, as when
    // their verdict is taken first.
    const std::string fingerprintFault = std::exchange(refusal, std::string());
    const FaultKind fingerprintKind = refusalKind_;
    takeExtraCheck(extraCheck.get());
    refuse(fingerprintKind, fingerprintFault);
  }
  if (!refusal.empty()) return refusalOr(FaultKind::Damaged, "");
  if (checkLater) pendingCheck_ = std::move(extraCheck);
  return std::nullopt;
}

std::optional<Fault> tPatch::extrasChecked() {
  if (!pendingCheck_) return std::nullopt;
  const std::unique_ptr<ExtraFilesCheck> check = std::move(pendingCheck_);
  takeExtraCheck(check.get());
  if (!refusal.empty()) return refusalOr(FaultKind::Damaged, "");
  return std::nullopt;
}

int tPatch::open(const std::string& url) {
  return shown(read(url));
}

int tPatch::openCheckingExtrasMeanwhile(const std::string& url, KnownStreams known) {
  return shown(read(url, false, std::move(known)));
}

int tPatch::shown(const std::optional<Fault>& fault) {
  if (!fault) return 1;
  report_.messageBox(fault->detail);
  return 0;
}

Fault tPatch::refusalOr(FaultKind kind, const std::string& message) const {
  return refusal.empty() ? Fault{kind, message} : Fault{refusalKind_, refusal};
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
      // package must not reach any other file through it. Kept in its one
      // normal form, so that the archive, its backup and the next
      // installation's skipping all mean the same file by it.
      const auto path = pathInFolder(value);
      if (!path) {
        refuse(FaultKind::Damaged, kRefusedArchivePath + value);
        return 0;
      }
      if (!hold(textCost(*path), "patchscene.lst")) return 0;
      sub->path = *path;
    }
  }
  return 1;
}

int tPatch::readAddon() {
  auto list = extract("addon.lst");
  if (!list) return 0;
  while (!list->atEnd()) {
    const std::string line = list->readLine();
    const std::string memberName = "addon/" + line;
    auto member = stream(memberName);
    if (!refusal.empty()) return 0;
    if (!member) continue;
    tTransRecord record = readAddonRecord(*member);
    if (!finished(*member, memberName)) return 0;
    if (record.overlongValue > 0) {
      report_.debugLog("a value of " + std::to_string(record.overlongValue) + " bytes, too long to write, skipped in " +
                          memberName);
    }
    if (!hold(record.footprint() + kListNodeCost, memberName)) return 0;
    // Front insertion: the first add-on listed ends up last and so, applied
    // after the others, wins over them.
    addonRecords.push_front(std::move(record));
  }
  return 0;
}

tTransRecord tPatch::readAddonRecord(Stream& stream) {
  tTransRecord record;
  LineReader lines(stream);
  std::string key, value;
  std::string_view piece;
  while (!lines.atEnd()) {
    const bool valueFollows = lines.readKey(kLongestAddonKey, key);
    if (key == "value" || key == "value::") {
      // Read as it streams: a value too long to write is counted, not held.
      StreamedValue streamed(kMaxRecordText, false);
      if (key == "value") {
        while (valueFollows && lines.nextPiece(piece)) streamed.add(piece);
      } else {
        if (valueFollows) lines.readRest(0, value);
        // Every following line, each with its line feed, to the member's end,
        // after what the value already holds.
        streamed.startWith(record);
        while (!lines.atEnd()) {
          while (lines.nextPiece(piece)) streamed.add(piece);
          streamed.add("\n");
        }
      }
      streamed.finishInto(record);
      continue;
    }
    value.clear();
    if (valueFollows) lines.readRest(kHeldAddonLine, value);
    if (key == "id") {
      record.setId(value);
    } else if (key == "type") {
      record.setType(value);
    } else if (key == "length") {
      record.length = strToInt(value);
    }
  }
  return record;
}

int tPatch::readTRZ() {
  for (auto& [name, scene] : scenes) {
    const std::string memberName = "trans/" + name + ".trz";
    auto member = stream(memberName);
    if (!refusal.empty()) return 0;
    if (!member) continue;
    auto trz = std::make_shared<tTrz>();
    trz->maxFootprint = budget_->room();
    if (trz->read(*member)) {
      refuse(FaultKind::BadSize, kTooLarge + memberName);
      return 0;
    }
    if (!finished(*member, memberName)) return 0;
    if (trz->overlongValues > 0) {
      report_.debugLog(std::to_string(trz->overlongValues) + " value(s) too long to write skipped in " + memberName);
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
      refuse(FaultKind::BadSize, kTooLarge + "trans/" + scene.name + ".trz");
      return 0;
    }
    if (!hold(record.footprint(), "addon.lst")) return 0;
    report_.debugLog(record.scnId);
    scene.trz->records.push_back(record);
  }
  return 0;
}

std::optional<Fault> tPatch::readImageList() {
  auto list = extract("images/images.lst");
  if (!list) return std::nullopt;
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
      if (!sub) return Fault{FaultKind::Damaged, "Invalid image patch:" + pending->name};
      const std::string memberName = imageMember(pending->name);
      auto member = extract(memberName);
      if (!member) {
        // A damaged or oversized member is named as such; only one that is
        // not there at all is "not found".
        return refusalOr(FaultKind::Damaged, "Image patch not found:" + pending->name);
      }
      const auto size = static_cast<size_t>(member->size());
      pending->imagebuffer = std::make_shared<ByteBuffer>();
      pending->imagebuffer->readFrom(*member, size);
      member.reset();
      // The image stays in memory until the installation has written it.
      if (!hold(size, memberName)) return refusalOr(FaultKind::BadSize, "");
      sub->addImage(pending);
      pending = std::make_shared<tPatchImage>();
    }
  }
  return std::nullopt;
}

int tPatch::readImages() {
  return shown(readImageList());
}

}  // namespace vh
