#include "install/install_plan.h"

#include <algorithm>

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

void addField(Sha256& digest, std::string_view bytes) {
  const uint64_t size = bytes.size();
  char length[8];
  for (int k = 0; k < 8; ++k) length[k] = static_cast<char>(size >> (8 * k));
  digest.add(std::string_view(length, sizeof length));
  digest.add(bytes);
}

void addNumber(Sha256& digest, int64_t value) { addField(digest, std::to_string(value)); }

void addRecord(Sha256& digest, const tTransRecord& record) {
  addField(digest, record.scnId);
  addNumber(digest, record.subId);
  addNumber(digest, record.recId);
  addNumber(digest, record.length);
  addNumber(digest, record.typeId);
  addField(digest, record.value);
  addNumber(digest, static_cast<int64_t>(record.overlongValue));
}

void addSub(Sha256& digest, const std::string& name, const tSubScene& sub) {
  addField(digest, name);
  addField(digest, sub.path);
  addNumber(digest, sub.hasImages() ? static_cast<int64_t>(sub.images->size()) : 0);
  if (!sub.hasImages()) return;
  for (const auto& image : *sub.images) {
    addField(digest, image->oname);
    const ByteBufferPtr& bytes = image->imagebuffer;
    addField(digest, bytes ? std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())
                           : std::string_view());
  }
}

}  // namespace

// Each field goes in with its length, so that no two inputs read alike.
std::string sceneInputs(const tPatchScene& scene, const std::string& program) {
  Sha256 digest;
  addField(digest, "vhpatch scene inputs 1");
  addField(digest, program);
  addField(digest, scene.name);
  addNumber(digest, scene.trz ? static_cast<int64_t>(scene.trz->records.size()) : -1);
  if (scene.trz) {
    for (const tTransRecord& record : scene.trz->records) addRecord(digest, record);
  }
  for (const auto& [name, sub] : scene.subs) addSub(digest, name, *sub);
  return digest.hex();
}

std::string archiveInputs(const tPatch& patch, const tPatchScene& scene, const tSubScene& sub,
                          const std::string& program) {
  Sha256 digest;
  addField(digest, "vhpatch archive inputs 1");
  addField(digest, program);
  addField(digest, scene.name);
  addSub(digest, sub.name, sub);
  const auto fingerprint = patch.fingerprints.find(fingerprintKey(sub.path));
  addField(digest, fingerprint == patch.fingerprints.end() ? "" : fingerprint->second);
  // The entries as the archive takes them (applyTrz): those of its
  // sub-scene, in the table's order, a later one over an earlier.
  const int32_t subId = strToInt(sub.name);
  addNumber(digest, scene.trz ? 0 : -1);
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
