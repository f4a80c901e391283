#include "patch/backup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <tuple>

#include "common/files.h"
#include "common/replacing_file.h"
#include "common/report.h"
#include "common/sha256.h"
#include "formats/xarc.h"
#include "patch/install_guard.h"
#include "patch/installer_host.h"
#include "patch/patcher.h"

namespace vh {

namespace {

constexpr const char* kPiecesMagic = "vhpatch pieces 1";
constexpr const char* kPiecesExtension = ".pieces";
constexpr const char* kManifestMagic = "vhpatch backup 1";
constexpr size_t kPiecesNameDigits = 32;

const std::string kBackupDamaged = "backup damaged, cannot restore:";
const std::string kChangedSince = "changed since the installation, left as it is:";
const std::string kFailedToWrite = "failed to write:";
const std::string kFailedToRead = "failed to read:";
const std::string kFailedToRemove = "failed to remove:";

// One step of rebuilding an original: bytes copied from the installed file,
// or the next kept bytes.
struct Segment {
  bool copy = false;
  uint64_t from = 0;  // in the installed file for a copy, in the original while building
  uint64_t length = 0;
};

struct Pieces {
  std::string path, original, installed;
  std::vector<Segment> segments;
  std::string_view data;  // the kept bytes
};

bool parseNumber(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// None for anything that is not a whole pieces file: a kept length beyond
// the bytes that follow, an unknown line, a missing digest.
std::optional<Pieces> parsePieces(std::string_view text) {
  Pieces pieces;
  size_t at = 0;
  bool first = true;
  uint64_t keptTotal = 0;
  for (;;) {
    const size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (first) {
      if (line != kPiecesMagic) return std::nullopt;
      first = false;
      continue;
    }
    if (line == "data") break;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "path") {
      pieces.path = value;
    } else if (key == "original") {
      pieces.original = value;
    } else if (key == "installed") {
      pieces.installed = value;
    } else if (key == "copy") {
      const size_t space = value.find(' ');
      Segment s{true, 0, 0};
      if (space == std::string_view::npos || !parseNumber(value.substr(0, space), s.from) ||
          !parseNumber(value.substr(space + 1), s.length)) {
        return std::nullopt;
      }
      pieces.segments.push_back(s);
    } else if (key == "keep") {
      Segment s{false, 0, 0};
      if (!parseNumber(value, s.length) || s.length > text.size()) return std::nullopt;
      keptTotal += s.length;
      pieces.segments.push_back(s);
    } else {
      return std::nullopt;
    }
  }
  pieces.data = text.substr(at);
  if (pieces.path.empty() || pieces.installed.empty() || keptTotal != pieces.data.size()) return std::nullopt;
  return pieces;
}

// Hands `visit` the parts the original is rebuilt from, in order: spans of
// the installed bytes and of the kept data. False when a span lies outside
// what it is taken from.
template <typename Visit>
bool forEachPart(const Pieces& pieces, std::string_view installed, Visit&& visit) {
  const std::string_view data = pieces.data;
  uint64_t kept = 0;
  for (const Segment& s : pieces.segments) {
    if (s.copy) {
      if (s.from > installed.size() || s.length > installed.size() - s.from) return false;
      visit(installed.substr(s.from, s.length));
    } else {
      if (kept > data.size() || s.length > data.size() - kept) return false;
      visit(data.substr(kept, s.length));
      kept += s.length;
    }
  }
  return true;
}

std::optional<std::string> rebuildFrom(const Pieces& pieces, std::string_view installed) {
  std::string out;
  if (!forEachPart(pieces, installed, [&](std::string_view part) { out.append(part); })) return std::nullopt;
  return out;
}

// What the pieces rebuild, as its digest and length, taken without putting
// the original together: the proof before a game file is written needs no
// second copy of it.
struct RebuiltDigest {
  std::string digest;
  uint64_t size = 0;
};

std::optional<RebuiltDigest> rebuiltDigest(const Pieces& pieces, std::string_view installed) {
  Sha256 digest;
  uint64_t size = 0;
  const bool whole = forEachPart(pieces, installed, [&](std::string_view part) {
    digest.add(part);
    size += part.size();
  });
  if (!whole) return std::nullopt;
  return RebuiltDigest{digest.hex(), size};
}

std::string piecesText(const std::string& path, const std::string& original, const std::string& installed,
                       const std::vector<Segment>& segments, std::string_view originalBytes) {
  std::string head = std::string(kPiecesMagic) + "\npath=" + path + "\noriginal=" + original +
                     "\ninstalled=" + installed + "\n";
  std::string data;
  for (const Segment& s : segments) {
    if (s.copy) {
      head += "copy=" + std::to_string(s.from) + " " + std::to_string(s.length) + "\n";
    } else {
      head += "keep=" + std::to_string(s.length) + "\n";
      data.append(originalBytes.substr(s.from, s.length));
    }
  }
  return head + "data\n" + data;
}

// The original as copies of the shared ranges whose bytes really match and
// kept bytes for everything between them.
std::vector<Segment> segmentsFor(std::string_view original, std::string_view installed,
                                 std::vector<SharedRange> shared) {
  std::sort(shared.begin(), shared.end(),
            [](const SharedRange& a, const SharedRange& b) { return a.original < b.original; });
  std::vector<Segment> segments;
  uint64_t cursor = 0;
  for (const SharedRange& r : shared) {
    const bool fits = r.length > 0 && r.original >= cursor && r.original <= original.size() &&
                      r.length <= original.size() - r.original && r.installed <= installed.size() &&
                      r.length <= installed.size() - r.installed;
    if (!fits || original.substr(r.original, r.length) != installed.substr(r.installed, r.length)) continue;
    if (r.original > cursor) segments.push_back({false, cursor, r.original - cursor});
    if (!segments.empty() && segments.back().copy && segments.back().from + segments.back().length == r.installed) {
      segments.back().length += r.length;
    } else {
      segments.push_back({true, r.installed, r.length});
    }
    cursor = r.original + r.length;
  }
  if (cursor < original.size()) segments.push_back({false, cursor, original.size() - cursor});
  return segments;
}

bool writeAtomically(const std::string& path, std::string_view bytes) {
  auto out = ReplacingFile::create(path);
  if (!out) return false;
  try {
    out->stream().write(bytes.data(), bytes.size());
  } catch (const StreamError&) {
    return false;
  }
  return out->commit();
}

std::string nowUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool parseSigned(std::string_view text, int64_t& value) {
  const bool negative = !text.empty() && text.front() == '-';
  uint64_t magnitude = 0;
  if (!parseNumber(negative ? text.substr(1) : text, magnitude) ||
      magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    return false;
  }
  value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

std::string stampText(const FileStamp& stamp) {
  return std::to_string(stamp.size) + " " + std::to_string(stamp.modifiedNs) + " " +
         std::to_string(stamp.changedNs) + " " + std::to_string(stamp.inode);
}

std::optional<FileStamp> parseStamp(std::string_view text) {
  std::string_view parts[4];
  for (size_t k = 0; k < 4; ++k) {
    const size_t space = text.find(' ');
    if ((space == std::string_view::npos) != (k == 3)) return std::nullopt;
    parts[k] = text.substr(0, space);
    if (space != std::string_view::npos) text.remove_prefix(space + 1);
  }
  FileStamp stamp;
  if (!parseNumber(parts[0], stamp.size) || !parseSigned(parts[1], stamp.modifiedNs) ||
      !parseSigned(parts[2], stamp.changedNs) || !parseNumber(parts[3], stamp.inode)) {
    return std::nullopt;
  }
  return stamp;
}

constexpr int64_t kNsPerSecond = 1'000'000'000;

}  // namespace

std::optional<FileStamp> stampOf(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  FileStamp stamp;
  stamp.size = static_cast<uint64_t>(info.st_size);
  stamp.modifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * kNsPerSecond + info.st_mtim.tv_nsec;
  stamp.changedNs = static_cast<int64_t>(info.st_ctim.tv_sec) * kNsPerSecond + info.st_ctim.tv_nsec;
  stamp.inode = static_cast<uint64_t>(info.st_ino);
  return stamp;
}

std::vector<MemberSpan> memberSpans(const tXARC& archive) {
  std::vector<MemberSpan> spans;
  for (const tXFilePtr& file : archive.files) {
    spans.push_back({static_cast<uint64_t>(file->offset), static_cast<uint64_t>(std::max<int32_t>(file->length, 0))});
  }
  return spans;
}

std::vector<SharedRange> sharedMembers(const std::vector<MemberSpan>& before, const tXARC& saved,
                                       uint64_t installedSize) {
  // Saving writes the members last, one after another, so they end where
  // the file ends.
  uint64_t data = 0;
  for (const tXFilePtr& file : saved.files) data += static_cast<uint64_t>(std::max<int32_t>(file->length, 0));
  if (data > installedSize || saved.files.size() != before.size()) return {};
  std::vector<SharedRange> shared;
  uint64_t at = installedSize - data;
  size_t k = 0;
  for (const tXFilePtr& file : saved.files) {
    const auto length = static_cast<uint64_t>(std::max<int32_t>(file->length, 0));
    if (length == before[k].length) shared.push_back({before[k].offset, at, length});
    at += length;
    ++k;
  }
  return shared;
}

GameBackup::GameBackup(std::string gameRoot) : root_(std::move(gameRoot)) {}

void GameBackup::load() {
  states_.clear();
  written_.clear();
  stamps_.clear();
  scenes_.clear();
  untouched_.clear();
  recorded_.clear();
  recordedUntouched_.clear();
  recordedScenes_.clear();
  unreadable_ = 0;
  fileNotRead_.clear();
  const std::string here = folder();
  std::set<std::string> names;
  for (const std::string& name : listFolder(here, true)) {
    if (name.find(kNewFileMark) == std::string::npos) names.insert(name);
  }
  if (const size_t removed = removeLeftovers(here, names)) {
    reporter().debugLog("removed " + std::to_string(removed) + " unfinished file(s) in " + here);
  }
  for (const std::string& name : names) {
    if (!endsWith(name, kPiecesExtension)) continue;
    const auto text = readWholeFile(here + name);
    const auto pieces = text ? parsePieces(*text) : std::nullopt;
    if (!pieces) {
      ++unreadable_;
      if (!text && fileNotRead_.empty()) fileNotRead_ = here + name;
      reporter().debugLog("unreadable backup file left out: " + here + name);
      continue;
    }
    states_.push_back({pieces->path, pieces->original, pieces->installed, name, pieces->data.size()});
  }
  // Files in a fixed order, so that messages come in the same order on
  // every run.
  std::sort(states_.begin(), states_.end(),
            [](const State& a, const State& b) { return std::tie(a.path, a.pieces) < std::tie(b.path, b.pieces); });
  readManifest();
}

void GameBackup::readManifest() {
  const auto text = readWholeFile(folder() + kBackupManifest);
  if (!text) return;
  std::string_view rest(*text);
  bool first = true;
  std::string path, untouched, scene, inputs;
  Recorded file;
  bool stamped = false;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line != kManifestMagic) return;
      first = false;
      continue;
    }
    if (line == ">>") {
      if (!path.empty() && stamped && !file.pieces.empty()) recorded_[path] = file;
      if (!untouched.empty() && stamped) recordedUntouched_[untouched] = file.stamp;
      if (!scene.empty() && !inputs.empty()) recordedScenes_[scene] = inputs;
      path.clear();
      untouched.clear();
      scene.clear();
      inputs.clear();
      file = Recorded{};
      stamped = false;
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "file") {
      path = value;
    } else if (key == "untouched") {
      untouched = value;
    } else if (key == "scene") {
      scene = value;
    } else if (key == "pieces") {
      file.pieces = value;
    } else if (key == "installed") {
      file.installed = value;
    } else if (key == "inputs") {
      inputs = value;
    } else if (key == "stamp") {
      const auto parsed = parseStamp(value);
      stamped = parsed.has_value();
      if (parsed) file.stamp = *parsed;
    }
  }
}

std::vector<const GameBackup::State*> GameBackup::statesOf(const std::string& path) const {
  std::vector<const State*> found;
  for (const State& state : states_) {
    if (state.path == path) found.push_back(&state);
  }
  return found;
}

std::optional<std::string> GameBackup::rebuild(const State& state, std::string_view installed) const {
  const auto text = readWholeFile(folder() + state.pieces);
  const auto pieces = text ? parsePieces(*text) : std::nullopt;
  if (!pieces) return std::nullopt;
  auto original = rebuildFrom(*pieces, installed);
  if (!original || sha256Hex(*original) != state.original) return std::nullopt;
  return original;
}

bool GameBackup::toOriginal(const std::string& path, std::optional<std::string>& content,
                            Origin* origin) const {
  Origin ignored;
  Origin& how = origin ? *origin : ignored;
  how = Origin{};
  const auto states = statesOf(path);
  if (states.empty() || !content) return true;
  const std::string digest = sha256Hex(*content);
  for (const State* state : states) {
    if (state->original == digest) return true;
  }
  for (const State* state : states) {
    if (state->installed != digest) continue;
    if (state->original.empty()) {
      content.reset();
      how = Origin{false, state->pieces, state->installed};
      return true;
    }
    auto original = rebuild(*state, *content);
    if (!original) {
      reporter().messageBox(kBackupDamaged + root_ + path);
      return false;
    }
    content = std::move(original);
    how = Origin{false, state->pieces, state->installed};
    return true;
  }
  // Something wrote into the installed file since, within the bytes the
  // backup keeps: the original still comes back whole, as its digest proves.
  for (const State* state : states) {
    if (state->original.empty()) continue;
    if (auto original = rebuild(*state, *content)) {
      reporter().debugLog("changed since the last installation, rebuilt from the backup: " + root_ + path);
      content = std::move(original);
      how.asStored = false;
      return true;
    }
  }
  // A game update replaced the file since: what stands now is the original
  // that this installation changes.
  reporter().debugLog("changed since the last installation, taken as the original: " + root_ + path);
  return true;
}

bool GameBackup::keep(const std::string& path, const std::optional<std::string>& original, std::string_view installed,
                      const std::vector<SharedRange>& shared) {
  const std::string originalDigest = original ? sha256Hex(*original) : "";
  const std::string installedDigest = sha256Hex(installed);
  const std::string_view originalBytes = original ? std::string_view(*original) : std::string_view();
  std::vector<Segment> segments = segmentsFor(originalBytes, installed, shared);
  std::string text = piecesText(path, originalDigest, installedDigest, segments, originalBytes);
  // The proof: the pieces file as it will be read back rebuilds the
  // original from the installed bytes, or the whole original is kept.
  const auto parsed = parsePieces(text);
  const auto rebuilt = parsed ? rebuiltDigest(*parsed, installed) : std::nullopt;
  if (!rebuilt || (original && rebuilt->digest != originalDigest) || (!original && rebuilt->size != 0)) {
    reporter().debugLog("pieces do not rebuild " + path + "; keeping the whole original");
    segments.clear();
    if (!originalBytes.empty()) segments.push_back({false, 0, originalBytes.size()});
    text = piecesText(path, originalDigest, installedDigest, segments, originalBytes);
  }
  const std::string name =
      sha256Hex(path + "\n" + originalDigest + "\n" + installedDigest).substr(0, kPiecesNameDigits) + kPiecesExtension;
  mkdir(folder().c_str(), 0755);
  if (!writeAtomically(folder() + name, text)) return false;
  std::erase_if(states_, [&](const State& s) { return s.pieces == name; });
  uint64_t kept = 0;
  for (const Segment& s : segments) kept += s.copy ? 0 : s.length;
  states_.push_back({path, originalDigest, installedDigest, name, kept});
  written_[path] = name;
  return true;
}

bool GameBackup::keepFile(const std::string& path, std::string_view installed) {
  // A package's file inside the backup would overwrite what rebuilds the
  // game.
  if (path.starts_with(kBackupFolder)) return false;
  std::optional<std::string> current;
  if (fileKind(root_ + path) != FileKind::Missing) {
    // A file that is there but cannot be read would be taken for one the
    // installation added, and removed by an uninstallation.
    current = readWholeFile(root_ + path);
    if (!current) return false;
  }
  return toOriginal(path, current) && keep(path, current, installed);
}

void GameBackup::reuse(const std::string& path, const std::string& pieces) { written_[path] = pieces; }

bool GameBackup::reuseInstalled(const std::string& path, const std::string& installed) {
  for (const State* state : statesOf(path)) {
    if (state->original == installed) return false;
  }
  for (const State* state : statesOf(path)) {
    if (state->installed != installed) continue;
    reuse(path, state->pieces);
    return true;
  }
  return false;
}

void GameBackup::stamp(const std::string& path, const FileStamp& stamp) { stamps_[path] = stamp; }

void GameBackup::untouched(const std::string& path, const FileStamp& stamp) { untouched_[path] = stamp; }

bool GameBackup::unchanged(const std::string& path) const {
  const auto recorded = recorded_.find(path);
  if (recorded == recorded_.end()) {
    const auto left = recordedUntouched_.find(path);
    return left != recordedUntouched_.end() && !knows(path) && stampOf(root_ + path) == left->second;
  }
  const Recorded& r = recorded->second;
  const bool loaded = std::any_of(states_.begin(), states_.end(), [&](const State& s) {
    return s.path == path && s.pieces == r.pieces && s.installed == r.installed && s.original != r.installed;
  });
  return loaded && stampOf(root_ + path) == r.stamp;
}

void GameBackup::reuseRecorded(const std::string& path) {
  if (!recorded_.count(path)) {
    untouched(path, recordedUntouched_.at(path));
    return;
  }
  const Recorded& r = recorded_.at(path);
  reuse(path, r.pieces);
  stamp(path, r.stamp);
}

std::string GameBackup::recordedInputs(const std::string& scene) const {
  const auto found = recordedScenes_.find(scene);
  return found == recordedScenes_.end() ? "" : found->second;
}

void GameBackup::noteScene(const std::string& scene, const std::string& inputs) { scenes_[scene] = inputs; }

GameBackup::Restored GameBackup::restore(const std::string& path) {
  const auto states = statesOf(path);
  const std::string target = root_ + path;
  if (fileKind(target) == FileKind::Missing) {
    for (const State* state : states) {
      if (state->original.empty()) return Restored::Done;
    }
    reporter().messageBox(kChangedSince + target);
    return Restored::Changed;
  }
  const auto current = readWholeFile(target);
  if (!current) {
    reporter().messageBox(kFailedToRead + target);
    return Restored::Failed;
  }
  const std::string digest = sha256Hex(*current);
  for (const State* state : states) {
    if (state->original == digest) return Restored::Done;
  }
  for (const State* state : states) {
    if (state->installed != digest) continue;
    reporter().debugLog("restoring " + target);
    if (state->original.empty()) {
      if (std::remove(target.c_str()) == 0) {
        ++putBack_.removed;
        return Restored::Done;
      }
      reporter().messageBox(kFailedToRemove + target);
      return Restored::Failed;
    }
    const auto original = rebuild(*state, *current);
    if (!original) {
      reporter().messageBox(kBackupDamaged + target);
      return Restored::Failed;
    }
    if (!writeAtomically(target, *original)) {
      reporter().messageBox(kFailedToWrite + target);
      return Restored::Failed;
    }
    ++putBack_.rebuilt;
    return Restored::Done;
  }
  reporter().messageBox(kChangedSince + target);
  return Restored::Changed;
}

bool GameBackup::writeManifest(const std::string& package) const {
  std::string text = std::string(kManifestMagic) + "\r\npackage=" + package + "\r\ndate=" + nowUtc() + "\r\n";
  for (const State& s : states_) {
    text += "file=" + s.path + "\r\noriginal=" + s.original + "\r\ninstalled=" + s.installed + "\r\npieces=" +
            s.pieces + "\r\nkept=" + std::to_string(s.kept) + "\r\n";
    // A stamp only for the version this installation left in the game.
    const auto written = written_.find(s.path);
    const auto stamped = stamps_.find(s.path);
    if (written != written_.end() && written->second == s.pieces && stamped != stamps_.end()) {
      text += "stamp=" + stampText(stamped->second) + "\r\n";
    }
    text += ">>\r\n";
  }
  for (const auto& [path, stamp] : untouched_) {
    if (!written_.count(path)) text += "untouched=" + path + "\r\nstamp=" + stampText(stamp) + "\r\n>>\r\n";
  }
  for (const auto& [scene, inputs] : scenes_) text += "scene=" + scene + "\r\ninputs=" + inputs + "\r\n>>\r\n";
  return writeAtomically(folder() + kBackupManifest, text);
}

void GameBackup::dropAllBut(const std::set<std::string>& keptPieces) {
  for (const State& s : states_) {
    if (!keptPieces.count(s.pieces)) std::remove((folder() + s.pieces).c_str());
  }
  std::erase_if(states_, [&](const State& s) { return !keptPieces.count(s.pieces); });
}

bool GameBackup::finishInstallation(const std::string& package) {
  bool ok = true;
  std::set<std::string> keptPieces;
  for (const auto& [path, pieces] : written_) keptPieces.insert(pieces);
  std::set<std::string> earlier;
  for (const State& s : states_) {
    if (!written_.count(s.path)) earlier.insert(s.path);
  }
  // What an earlier package changed and this one does not goes back to the
  // original, so that the game holds this package's changes alone.
  for (const std::string& path : earlier) {
    const Restored restored = restore(path);
    if (restored == Restored::Done) continue;
    if (restored == Restored::Failed) ok = false;
    for (const State* state : statesOf(path)) keptPieces.insert(state->pieces);
  }
  if (keptPieces.empty()) {
    // Nothing of this or an earlier installation is in the game: no backup.
    dropAllBut({});
    std::remove((folder() + kBackupManifest).c_str());
    rmdir(folder().c_str());
    return ok;
  }
  const std::vector<State> all = states_;
  std::erase_if(states_, [&](const State& s) { return !keptPieces.count(s.pieces); });
  const bool recorded = writeManifest(package);
  states_ = all;
  if (!recorded) {
    reporter().messageBox(kFailedToWrite + folder() + kBackupManifest);
    return false;
  }
  dropAllBut(keptPieces);
  return ok;
}

int GameBackup::restoreAll(HeldSignals* signals) {
  std::set<std::string> paths, keptPieces;
  for (const State& s : states_) paths.insert(s.path);
  // New files that a killed run left beside the game files it wrote.
  std::map<std::string, std::set<std::string>> byFolder;
  for (const std::string& path : paths) {
    for (const std::string& file : {root_ + path, replacedFile(root_ + path)}) {
      const size_t slash = file.rfind('/');
      byFolder[file.substr(0, slash)].insert(file.substr(slash + 1));
    }
  }
  for (const auto& [where, names] : byFolder) {
    if (const size_t removed = removeLeftovers(where, names)) {
      reporter().debugLog("removed " + std::to_string(removed) + " unfinished file(s) in " + where);
    }
  }
  size_t notReached = 0;
  for (const std::string& path : paths) {
    // Asked between files only, so every game file is whole, original or
    // installed, and the backup still knows each one left installed.
    if (notReached > 0 || (signals && signals->arrived())) {
      ++notReached;
    } else if (restore(path) == Restored::Done) {
      continue;
    }
    for (const State* state : statesOf(path)) keptPieces.insert(state->pieces);
  }
  if (notReached > 0) {
    installerHost().printErrorLine("uninstall stopped with " + std::to_string(notReached) +
                                   " file(s) still to put back; run \"vhpatch uninstall\" again to finish");
  }
  if (!keptPieces.empty()) {
    // The files left as they are keep their backup, for another try.
    std::string package;
    if (const auto manifest = readWholeFile(folder() + kBackupManifest)) {
      const size_t at = manifest->find("\npackage=");
      if (at != std::string::npos) package = manifest->substr(at + 9, manifest->find('\r', at) - at - 9);
    }
    dropAllBut(keptPieces);
    if (!writeManifest(package)) reporter().debugLog("cannot write " + folder() + kBackupManifest);
    return 0;
  }
  // The pieces go before the manifest: a run killed in between leaves a
  // manifest that the next run finds with nothing to put back.
  dropAllBut({});
  std::remove((folder() + kBackupManifest).c_str());
  rmdir(folder().c_str());
  return 1;
}

int uninstallGame(tPatcher& patcher, GameBackup::PutBack* putBack) {
  const auto lock = patcher.lockGame();
  if (!lock) return 1;
  const std::string root = patcher.gameRoot;
  GameBackup backup(root);
  backup.load();
  if (backup.empty() && backup.unreadable() == 0) {
    // A manifest alone is what an uninstallation killed at its very end
    // leaves: every file was back, and only the manifest is left to go.
    if (std::remove((backup.folder() + kBackupManifest).c_str()) == 0) {
      rmdir(backup.folder().c_str());
      return 0;
    }
    reporter().messageBox("nothing to uninstall: no backup in:" + root);
    return 1;
  }
  if (!backup.fileNotRead().empty()) {
    reporter().messageBox(kFailedToRead + backup.fileNotRead());
    return 1;
  }
  if (backup.unreadable() > 0) {
    reporter().messageBox(kBackupDamaged + backup.folder());
    return 1;
  }
  HeldSignals signals;
  const int restored = backup.restoreAll(&signals);
  // A signal after the last file came too late to stop anything: taken
  // here, it does not end the process before its summary.
  signals.arrived();
  if (putBack) *putBack = backup.putBack();
  return restored ? 0 : 1;
}

}  // namespace vh
