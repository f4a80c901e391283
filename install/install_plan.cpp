#include "install/install_plan.h"

#include <algorithm>
#include <charconv>

#include "backup/backup.h"
#include "common/bytes.h"
#include "digest/sha256.h"
#include "package/fingerprint.h"
#include "package/patch.h"
#include "translation/trz.h"

namespace vh {

FileStep decideFile(const FileFacts& facts) {
  if (!facts.writable) return FileStep::LeaveUntranslated;
  // A file written into since is written again whatever it holds now: its
  // backup has to be made anew from the original the backup rebuilt.
  if (!facts.holdsInstalled || facts.origin == FileOrigin::ChangedSince) return FileStep::Write;
  if (facts.origin == FileOrigin::InstalledVersion) return FileStep::KeepInstalled;
  return facts.backupKnows ? FileStep::RecordOriginal : FileStep::LeaveOriginal;
}

const char* stepName(FileStep step) {
  switch (step) {
    case FileStep::Write: return "write";
    case FileStep::KeepInstalled: return "keep installed";
    case FileStep::LeaveOriginal: return "leave original";
    case FileStep::RecordOriginal: return "record original";
    case FileStep::LeaveUntranslated: return "leave untranslated";
  }
  return "?";
}

SceneStep decideScene(const SceneFacts& facts) {
  return facts.programKnown && facts.inputsAsRecorded && facts.filesAsRecorded ? SceneStep::Skip : SceneStep::Install;
}

namespace {

// The inputs reach the digest through a buffer: a scene has thousands of
// small fields, and a call into the digest costs more than a field's bytes.
// The digest is that of the same bytes added one by one.
class FieldDigest {
 public:
  void field(std::string_view bytes) {
    const uint64_t size = bytes.size();
    char length[8];
    for (int k = 0; k < 8; ++k) length[k] = static_cast<char>(size >> (8 * k));
    put(std::string_view(length, sizeof length));
    put(bytes);
  }
  void number(int64_t value) {
    char text[24];
    const auto written = std::to_chars(text, text + sizeof text, value);
    field(std::string_view(text, static_cast<size_t>(written.ptr - text)));
  }
  std::string hex() {
    flush();
    return digest_.hex();
  }

 private:
  static constexpr size_t kHeld = size_t{1} << 16;
  static constexpr size_t kDirect = size_t{1} << 12;  // a picture goes in as it is
  void put(std::string_view bytes) {
    if (bytes.size() >= kDirect) {
      flush();
      digest_.add(bytes);
      return;
    }
    held_.append(bytes);
    if (held_.size() >= kHeld) flush();
  }
  void flush() {
    digest_.add(held_);
    held_.clear();
  }
  Sha256 digest_;
  std::string held_;
};

void addRecord(FieldDigest& digest, const tTransRecord& record) {
  digest.field(record.scnId);
  digest.number(record.subId);
  digest.number(record.recId);
  digest.number(record.length);
  digest.number(record.typeId);
  digest.field(record.value);
  digest.number(static_cast<int64_t>(record.overlongValue));
}

void addSub(FieldDigest& digest, const std::string& name, const tSubScene& sub) {
  digest.field(name);
  digest.field(sub.path);
  digest.number(sub.hasImages() ? static_cast<int64_t>(sub.images->size()) : 0);
  if (!sub.hasImages()) return;
  for (const auto& image : *sub.images) {
    digest.field(image->oname);
    const ByteBufferPtr& bytes = image->imagebuffer;
    digest.field(bytes ? std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())
                       : std::string_view());
  }
}

}  // namespace

// Each field goes in with its length, so that no two inputs read alike.
std::string sceneInputs(const tPatchScene& scene, const std::string& program) {
  FieldDigest digest;
  digest.field("vhpatch scene inputs 1");
  digest.field(program);
  digest.field(scene.name);
  digest.number(scene.trz ? static_cast<int64_t>(scene.trz->records.size()) : -1);
  if (scene.trz) {
    for (const tTransRecord& record : scene.trz->records) addRecord(digest, record);
  }
  for (const auto& [name, sub] : scene.subs) addSub(digest, name, *sub);
  return digest.hex();
}

std::string archiveInputs(const tPatch& patch, const tPatchScene& scene, const tSubScene& sub,
                          const std::string& program) {
  FieldDigest digest;
  digest.field("vhpatch archive inputs 1");
  digest.field(program);
  digest.field(scene.name);
  addSub(digest, sub.name, sub);
  const auto fingerprint = patch.fingerprints.find(fingerprintKey(sub.path));
  digest.field(fingerprint == patch.fingerprints.end() ? "" : fingerprint->second);
  // The entries as the archive takes them (applyTrz): those of its
  // sub-scene, in the table's order, a later one over an earlier.
  const int32_t subId = strToInt(sub.name);
  digest.number(scene.trz ? 0 : -1);
  if (scene.trz) {
    for (const tTransRecord& record : scene.trz->records) {
      if (record.subId == subId) addRecord(digest, record);
    }
  }
  return digest.hex();
}

InstallPlan planInstallation(const tPatch& patch, const GameBackup& backup, const std::optional<std::string>& program) {
  InstallPlan plan;
  if (!program) return plan;
  std::set<std::string> named;
  for (const auto& [name, scene] : patch.scenes) {
    for (const auto& [subName, sub] : scene->subs) {
      if (!named.insert(sub->path).second) plan.shared.insert(sub->path);
    }
  }
  for (const auto& [name, scene] : patch.scenes) {
    if (std::any_of(scene->subs.begin(), scene->subs.end(),
                    [&](const auto& sub) { return plan.shared.count(sub.second->path) > 0; })) {
      continue;
    }
    const std::string& digest = plan.inputs[name] = sceneInputs(*scene, *program);
    SceneFacts facts;
    facts.programKnown = true;
    facts.inputsAsRecorded = backup.recordedInputs(name) == digest;
    // The files are looked at only for a scene whose inputs are unchanged.
    facts.filesAsRecorded =
        facts.inputsAsRecorded && std::all_of(scene->subs.begin(), scene->subs.end(),
                                              [&](const auto& sub) { return backup.unchanged(sub.second->path); });
    if (decideScene(facts) == SceneStep::Skip) {
      plan.skipping.insert(name);
      for (const auto& [subName, sub] : scene->subs) plan.skippedArchives.insert(sub->path);
      continue;
    }
    for (const auto& [subName, sub] : scene->subs) {
      const std::string& inputs = plan.archiveInputs[sub.get()] = archiveInputs(patch, *scene, *sub, *program);
      SceneFacts archive;
      archive.programKnown = true;
      archive.inputsAsRecorded = backup.recordedArchiveInputs(sub->path) == inputs;
      archive.filesAsRecorded = archive.inputsAsRecorded && backup.unchanged(sub->path);
      if (decideScene(archive) != SceneStep::Skip) continue;
      plan.skippingArchives.insert(sub.get());
      plan.skippedArchives.insert(sub->path);
    }
  }
  return plan;
}

}  // namespace vh
