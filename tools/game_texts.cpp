#include "tools/game_texts.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "common/bytes.h"
#include "common/files.h"
#include "common/stream.h"
#include "formats/scene_list.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "translation/kind_words.h"
#include "translation/trz.h"

namespace vh::tool {

namespace {

constexpr const char* kUnreadableArchive = "in archives that cannot be read";

}  // namespace

// Opens an archive as the installer does, numbered as its sub-scene; false
// with the reason in `error` when it cannot be read.
bool openGameArchive(const std::string& path, int subId, tXARC& archive, std::string& error) {
  archive.subId = subId;
  try {
    const std::optional<Fault> fault = archive.read(path);
    if (!fault) return true;
    error = tXARC::openFailureText(*fault, path) + " (" + fault->detail + ")";
  } catch (const std::exception& e) {
    error = e.what();
  }
  return false;
}

namespace {

bool allDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A scene's name must make an index file name of one dot and name the
// folder the installer will look in.
bool usableSceneName(const std::string& name) { return name.find('.') == std::string::npos && name.find('=') == std::string::npos; }

std::vector<GameSubScene> findSubScenes(const std::string& game, const std::string& scene, const Warn& warn) {
  std::vector<GameSubScene> subs = {{kOwnArchiveSub, std::stoi(kOwnArchiveSub), sceneArchivePath(scene)}};
  const std::string folder = game + "/" + sceneFolderPrefix(scene) + scene;
  std::vector<std::string> names = listFolder(folder, true);
  std::sort(names.begin(), names.end());
  for (const std::string& id : names) {
    const std::string path = subSceneArchivePath(scene, id);
    if (!fileExists(game + "/" + path)) continue;
    const int number = allDigits(id) && id.size() <= 2 ? std::stoi(id) : -1;
    if (number < 0 || number > kMaxAddressSub) {
      warn(path + " left out: an address cannot name sub-scene " + id);
      continue;
    }
    const auto same = std::find_if(subs.begin(), subs.end(), [&](const GameSubScene& s) { return s.number == number; });
    if (same != subs.end()) {
      warn(path + " left out: " + same->path + " is sub-scene " + std::to_string(number) + " already");
      continue;
    }
    subs.push_back({id, number, path});
  }
  std::sort(subs.begin() + 1, subs.end(), [](const GameSubScene& a, const GameSubScene& b) { return a.number < b.number; });
  return subs;
}

}  // namespace

std::vector<GameScene> findScenes(const std::string& game, const Warn& warn) {
  std::vector<std::string> candidates;
  for (const std::string& name : listFolder(game, true)) {
    if (name.size() <= 6) candidates.push_back(name);
  }
  for (const std::string& name : listFolder(game + "/static", true)) {
    if (name.size() > 6) candidates.push_back(name);
  }
  std::sort(candidates.begin(), candidates.end());
  std::vector<GameScene> scenes;
  for (const std::string& name : candidates) {
    if (!fileExists(game + "/" + sceneArchivePath(name))) continue;
    if (!usableSceneName(name)) {
      warn(sceneArchivePath(name) + " left out: an index file cannot name the scene " + name);
      continue;
    }
    scenes.push_back({name, findSubScenes(game, name, warn)});
  }
  return scenes;
}

std::vector<GameText> sceneTexts(const std::string& game, const GameScene& scene, const Warn& warn, LeftOut* leftOut) {
  const auto count = [&](const std::string& why, int n = 1) {
    if (leftOut) (*leftOut)[why] += n;
  };
  std::vector<GameText> texts;
  for (const GameSubScene& sub : scene.subs) {
    tXARC archive;
    std::string error;
    if (!openGameArchive(game + "/" + sub.path, sub.number, archive, error)) {
      warn(sub.path + " left out: " + error);
      count(kUnreadableArchive);
      continue;
    }
    if (!archive.getXRC()) continue;
    const auto records = archive.getXRC()->getRecordArray();
    if (records.size() > kMaxAddressRecords) {
      warn(sub.path + ": records from " + std::to_string(kMaxAddressRecords) + " on left out, an address cannot name them");
      count("beyond what an address can number", static_cast<int>(records.size() - kMaxAddressRecords));
    }
    for (size_t i = 0; i < records.size() && i < kMaxAddressRecords; ++i) {
      RecordSurvey survey = surveyRecord(records[i]->data);
      const std::string address = recordAddress(scene.name, sub.number, i);
      if (!survey.warning.empty()) warn(address + " (" + sub.path + "): " + survey.warning);
      if (survey.leftOut) count("with text in overlapping layouts no kind word fits");
      for (RecordText& found : survey.texts) {
        texts.push_back({address, found.typeId, found.word, std::move(found.text), sub.path});
      }
    }
  }
  return texts;
}

std::string describeLeftOut(const LeftOut& leftOut) {
  int records = 0, archives = 0;
  std::string why;
  for (const auto& [reason, n] : leftOut) {
    if (n == 0) continue;
    (reason == kUnreadableArchive ? archives : records) += n;
    why += (why.empty() ? "" : ", ") + std::to_string(n) + " " + reason;
  }
  if (why.empty()) return "no record left out";
  std::string text;
  if (records) text = std::to_string(records) + (records == 1 ? " record" : " records");
  if (archives) {
    text += std::string(text.empty() ? "" : " and ") + std::to_string(archives) + (archives == 1 ? " archive" : " archives");
  }
  return text + " left out: " + why;
}

bool readTreeTranslations(const std::string& worktree, const std::string& scene, TreeTranslations& found,
                          std::string& file) {
  const std::string trans = worktree + "/trans/";
  file = trans + translationFileName(trans, scene);
  if (!fileExists(file)) return true;
  auto stream = FileStream::open(file, FileMode::Read);
  if (!stream) return false;
  tTrz table;
  // The translator's text is carried on as it is, however long.
  table.maxValue = std::numeric_limits<size_t>::max();
  table.open(*stream);
  for (const tTransRecord& e : table.records) found[{e.subId, e.recId, e.typeId}] = e.value;
  return true;
}

std::string translationFileName(const std::string& transFolder, const std::string& scene) {
  std::vector<std::string> names = listFolder(transFolder, true);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && name.substr(0, dot) == scene && lowerCase(name.substr(dot + 1)) == "trz") return name;
  }
  return scene + ".trz";
}

}  // namespace vh::tool
