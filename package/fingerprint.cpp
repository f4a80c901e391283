#include "package/fingerprint.h"

#include "common/bytes.h"
#include "common/key_value.h"
#include "common/little_endian.h"
#include "common/report.h"
#include "digest/sha256.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "package/patch.h"

namespace vh {

namespace {

constexpr size_t kShapeDigits = 16;

bool isShape(const std::string& text) {
  if (text.size() != kShapeDigits) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

std::string fingerprintKey(const std::string& archivePath) { return lowerCase(toSlashes(archivePath)); }

std::string archiveFingerprint(const tXARC& archive) {
  const auto xrc = archive.getXRC();
  std::string shape;
  const size_t count = xrc ? xrc->records.size() : 0;
  for (int shift = 0; shift < 64; shift += 16) appendLE16(shape, static_cast<uint16_t>(uint64_t{count} >> shift));
  if (xrc) {
    for (const tRecordPtr& record : xrc->records) {
      shape += static_cast<char>(record->data.type1);
      shape += static_cast<char>(record->data.type2);
      appendLE16(shape, record->data.childCount);
    }
  }
  return sha256Hex(shape).substr(0, kShapeDigits);
}

std::optional<Fingerprints> readFingerprints(Stream& list) {
  Fingerprints found;
  std::string path;
  while (!list.atEnd()) {
    const std::string line = list.readLine();
    if (line.empty()) continue;
    std::string key, value;
    splitKeyValue(line, key, value);
    if (key == "path" && !value.empty()) {
      path = value;
    } else if (key == "shape" && !path.empty() && isShape(value)) {
      found[fingerprintKey(path)] = value;
      path.clear();
    } else {
      return std::nullopt;
    }
  }
  return found;
}

std::string fingerprintText(const std::map<std::string, std::string>& shapesByPath) {
  std::string text;
  for (const auto& [path, shape] : shapesByPath) {
    text += makeKeyValue("path", path) + "\r\n" + makeKeyValue("shape", shape) + "\r\n";
  }
  return text;
}

std::string otherVersionArchive(const tPatch& patch, const std::string& gameRoot, Reporter& report,
                                const std::set<std::string>& skipped) {
  if (patch.fingerprints.empty()) return "";
  for (const auto& [sceneName, scene] : patch.scenes) {
    for (const auto& [subName, sub] : scene->subs) {
      const auto expected = patch.fingerprints.find(fingerprintKey(sub->path));
      if (expected == patch.fingerprints.end() || skipped.count(sub->path)) continue;
      tXARC archive;
      archive.subId = strToInt(sub->name);
      if (archive.read(gameRoot + sub->path)) continue;
      const std::string found = archiveFingerprint(archive);
      if (found != expected->second) {
        report.debugLog("fingerprint of " + sub->path + " is " + found + ", the package's " + expected->second);
        return gameRoot + sub->path;
      }
    }
  }
  return "";
}

}  // namespace vh
