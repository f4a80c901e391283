#include "backup/backup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "common/calendar.h"
#include "common/file_system.h"
#include "common/files.h"
#include "common/report.h"
#include "common/write_access.h"
#include "common/stream.h"
#include "digest/sha256.h"
#include "formats/xarc.h"

namespace vh {

namespace {

constexpr size_t kPiecesNameDigits = 32;

const std::string kBackupDamaged = "backup damaged, cannot restore:";
const std::string kChangedSince = "changed since the installation, left as it is:";
const std::string kNotPutBack = "not put back, kept in the backup:";
const std::string kFailedToWrite = "failed to write:";
const std::string kFailedToRead = "failed to read:";
const std::string kFailedToRemove = "failed to remove:";

// Hands `visit` the parts the original is rebuilt from, in order: spans of
// the installed bytes and of the kept data. False when a span lies outside
// what it is taken from.
template <typename Visit>
bool forEachPart(const PiecesFile& pieces, std::string_view installed, Visit&& visit) {
  const std::string_view data = pieces.data;
  uint64_t kept = 0;
  for (const PiecesStep& s : pieces.steps) {
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

std::optional<std::string> rebuildFrom(const PiecesFile& pieces, std::string_view installed) {
  // Its length first, every span checked, so that the original (an archive
  // of megabytes) is put together in one block and not moved as it grows.
  uint64_t length = 0;
  if (!forEachPart(pieces, installed, [&](std::string_view part) { length += part.size(); })) return std::nullopt;
  std::string out;
  if (length > out.max_size()) return std::nullopt;
  out.reserve(static_cast<size_t>(length));
  forEachPart(pieces, installed, [&](std::string_view part) { out.append(part); });
  return out;
}

// True when the pieces rebuild exactly `original` from the installed bytes,
// compared part by part without putting the original together: the proof
// before a game file is written needs no second copy of it, nor a second
// digest of bytes whose digest is already taken.
bool rebuildsExactly(const PiecesFile& pieces, std::string_view installed, std::string_view original) {
  uint64_t at = 0;
  bool same = true;
  const bool whole = forEachPart(pieces, installed, [&](std::string_view part) {
    same = same && part.size() <= original.size() - at && original.substr(at, part.size()) == part;
    at += same ? part.size() : 0;
  });
  return whole && same && at == original.size();
}

// A part of the original while the pieces are made: a copy from the
// installed file, or bytes of the original (from its offset `from`) kept.
struct Segment {
  bool copy = false;
  uint64_t from = 0;
  uint64_t length = 0;
};

std::string piecesText(const std::string& path, const std::string& original, const std::string& installed,
                       const std::vector<Segment>& segments, std::string_view originalBytes) {
  PiecesFile pieces{path, original, installed, {}, {}};
  std::string data;
  for (const Segment& s : segments) {
    pieces.steps.push_back({s.copy, s.copy ? s.from : 0, s.length});
    if (!s.copy) data.append(originalBytes.substr(s.from, s.length));
  }
  pieces.data = data;
  return piecesFileText(pieces);
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

// A file is put back this many bytes at a time, whatever its size.
constexpr size_t kRestoreBlock = size_t{1} << 18;
// Far more than the header of any pieces file the installer writes (a line
// per step); a file without its data line by then is damaged.
constexpr size_t kMaxPiecesHeader = size_t{64} << 20;

// A pieces file open for reading, its header read and checked against the
// file's size; its kept bytes stay in the file.
struct OpenPieces {
  std::unique_ptr<ReadableFile> file;
  PiecesHeader header;
};

// CannotOpen when the file is missing, no regular file or a read fails;
// Damaged when its header does not read whole or its size is not what the
// header says.
Result<OpenPieces> openPieces(FileSystem& files, const std::string& path) {
  auto file = files.openRegular(path);
  if (!file) return Fault{FaultKind::CannotOpen, "cannot be read"};
  std::string head;
  char block[1 << 16];
  size_t searched = 0;
  for (;;) {
    const std::optional<size_t> got = file->read(block, sizeof block);
    if (!got) return Fault{FaultKind::CannotOpen, "cannot be read"};
    head.append(block, *got);
    // The magic line comes first, so the data line is never at the very start.
    if (head.find(kPiecesDataLine, searched) != std::string::npos || *got == 0) break;
    if (head.size() > kMaxPiecesHeader) return Fault{FaultKind::Damaged, "no data line in its first bytes"};
    searched = head.size() - std::min(head.size(), kPiecesDataLine.size() - 1);
  }
  auto header = readPiecesHeader(head, file->size());
  if (!header) return header.fault();
  return OpenPieces{std::move(file), std::move(header.value())};
}

std::string nowUtc() {
  const std::time_t now = std::time(nullptr);
  // A clock set before 1970 has no calendar date here; the stamp is only
  // shown, so it reads as zeros rather than stopping the backup.
  const std::tm parts = utcCalendar(now).value_or(std::tm{});
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The order the backup keeps its states in: by game file, then by pieces file.
bool byPathThenPieces(const GameBackup::State& a, const GameBackup::State& b) {
  return std::tie(a.path, a.pieces) < std::tie(b.path, b.pieces);
}

// The same order by game file alone, to find one file's versions.
struct PathOrder {
  bool operator()(const GameBackup::State& s, const std::string& path) const { return s.path < path; }
  bool operator()(const std::string& path, const GameBackup::State& s) const { return path < s.path; }
};

}  // namespace

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

GameBackup::GameBackup(Reporter& report, FileSystem& files, std::string gameRoot)
    : report_(&report), files_(&files), root_(std::move(gameRoot)) {}

bool GameBackup::load() {
  *this = GameBackup(*report_, *files_, root_);
  const std::string here = folder();
  // Only a real folder: through a link the backup would be written to, and
  // read from, wherever the link leads.
  const std::string backupFolder = root_ + kBackupFolderName;
  const FileKind backupKind = files_->status(backupFolder).kind;
  if (files_->isLink(backupFolder) || (backupKind != FileKind::Missing && backupKind != FileKind::Folder)) {
    report_->messageBox("backup folder is not a folder:" + root_ + kBackupFolderName);
    return false;
  }
  // Whatever a killed writer left here is this program's own, whether or
  // not the file it was to replace exists.
  if (const size_t removed = removeAllLeftovers(*files_, here)) {
    report_->debugLog("removed " + std::to_string(removed) + " unfinished file(s) in " + here);
  }
  std::vector<std::string> names = files_->list(here);
  std::sort(names.begin(), names.end());
  std::set<std::string> damagedPieces;
  for (const std::string& name : names) {
    if (!endsWith(name, kPiecesExtension)) continue;
    // Only the header is read: the kept bytes stay on disk until a file is
    // put back.
    const auto pieces = isPiecesName(name) ? openPieces(*files_, here + name) : Result<OpenPieces>(Fault{});
    if (!pieces) {
      // One of this program's names that gives no bytes is no regular file,
      // or its read failed; a name of its own is never read.
      const bool named = isPiecesName(name);
      const bool notRead = named && pieces.fault().kind == FaultKind::CannotOpen;
      damage_.push_back({name, named ? pieces.fault().detail : "no name the backup gives its files", notRead});
      damagedPieces.insert(name);
      continue;
    }
    const PiecesHeader& header = pieces.value().header;
    states_.push_back({header.fields.path, header.fields.original, header.fields.installed, name,
                       pieces.value().file->size() - header.dataAt});
  }
  // Files in a fixed order, so that messages come in the same order on
  // every run, and a file's versions are found by a binary search.
  std::sort(states_.begin(), states_.end(), byPathThenPieces);

  // Damaged pieces files stand for no known game file until the manifest
  // names theirs.
  strays_.assign(damagedPieces.begin(), damagedPieces.end());
  const std::string manifestPath = here + kBackupManifest;
  if (files_->status(manifestPath).kind == FileKind::Missing) return true;
  manifestFound_ = true;
  const auto text = readWholeFile(*files_, manifestPath);
  auto manifest = text ? readManifest(text.value()) : Result<Manifest>(Fault{FaultKind::CannotOpen, "cannot be read"});
  if (!manifest) {
    manifestDamaged_ = true;
    damage_.push_back({kBackupManifest, manifest.fault().detail, !text});
    return true;
  }
  takeManifest(manifest.value());
  // Every file the manifest names must still have its pieces, or be the
  // original already (an uninstallation stopped after putting it back). A
  // game of thousands of archives has as many of each: they are matched by
  // name through an index, not by a search of every file for each.
  std::unordered_map<std::string_view, const State*> byPieces;
  byPieces.reserve(states_.size());
  for (const State& state : states_) byPieces.emplace(state.pieces, &state);
  for (const Manifest::File& file : manifest_.files) {
    std::erase(strays_, file.pieces);
    const auto found = byPieces.find(file.pieces);
    if (found != byPieces.end()) {
      const State* state = found->second;
      if (state->path != file.path || state->original != file.original || state->installed != file.installed) {
        damage_.push_back({file.pieces, "differs from what the manifest says of it"});
      }
      continue;
    }
    orphans_.push_back(file);
    if (damagedPieces.count(file.pieces)) continue;
    const std::string target = root_ + file.path;
    const bool isOriginal = files_->status(target).kind == FileKind::Missing
                                ? file.original.empty()
                                : sha256OfFile(*files_, target) == file.original;
    if (!isOriginal) damage_.push_back({file.pieces, "missing"});
  }
  return true;
}

void GameBackup::takeManifest(const Manifest& manifest) {
  manifest_ = manifest;
  for (const Manifest::File& file : manifest.files) {
    if (file.stamp) recorded_[file.path] = Recorded{file.pieces, file.installed, *file.stamp, file.crc, file.inputs};
  }
  for (const Manifest::Untouched& untouched : manifest.untouched) recordedUntouched_[untouched.path] = untouched;
  recordedScenes_ = manifest.scenes;
  folders_.insert(manifest.folders.begin(), manifest.folders.end());
}

bool GameBackup::reportDamage() const {
  for (const Damage& damage : damage_) {
    report_->debugLog("backup file " + folder() + damage.file + ": " + damage.why);
    reportDamaged(damage.file);
  }
  return damage_.empty();
}

void GameBackup::reportDamaged(const std::string& name) const {
  const bool notRead =
      std::any_of(damage_.begin(), damage_.end(), [&](const Damage& d) { return d.file == name && d.notRead; });
  report_->messageBox((notRead ? kFailedToRead : kBackupDamaged) + folder() + name);
}

std::span<const GameBackup::State> GameBackup::versionsOf(const std::string& path) const {
  // The plan asks this of every archive of the game: a walk of every state
  // for each would take time in the square of the game's size.
  const auto [first, last] = std::equal_range(states_.begin(), states_.end(), path, PathOrder{});
  return {first, last};
}

std::optional<std::string> GameBackup::rebuild(const State& state, std::string_view installed) const {
  const auto text = readWholeFile(*files_, folder() + state.pieces);
  if (!text) return std::nullopt;
  const auto pieces = readPiecesFile(text.value());
  // Read again when it is used: it must still be the file that was loaded.
  if (!pieces || pieces.value().path != state.path || pieces.value().installed != state.installed) return std::nullopt;
  auto original = rebuildFrom(pieces.value(), installed);
  if (!original || sha256Hex(*original) != state.original) return std::nullopt;
  return original;
}

bool GameBackup::toOriginal(const std::string& path, std::optional<std::string>& content, Origin* origin,
                            Reporter* report) const {
  Reporter& said = report ? *report : *report_;
  Origin ignored;
  Origin& how = origin ? *origin : ignored;
  how = Origin{};
  const std::span<const State> states = versionsOf(path);
  if (states.empty() || !content) return true;
  const std::string digest = sha256Hex(*content);
  for (const State& state : states) {
    if (state.original != digest) continue;
    how.digest = digest;
    return true;
  }
  for (const State& state : states) {
    if (state.installed != digest) continue;
    if (state.original.empty()) {
      content.reset();
      how = Origin{false, state.pieces, state.installed, ""};
      return true;
    }
    auto original = rebuild(state, *content);
    if (!original) {
      said.messageBox(kBackupDamaged + folder() + state.pieces);
      return false;
    }
    content = std::move(original);
    how = Origin{false, state.pieces, state.installed, state.original};
    return true;
  }
  // Something wrote into the installed file since, within the bytes the
  // backup keeps: the original still comes back whole, as its digest proves.
  for (const State& state : states) {
    if (state.original.empty()) continue;
    if (auto original = rebuild(state, *content)) {
      said.debugLog("changed since the last installation, rebuilt from the backup: " + root_ + path);
      content = std::move(original);
      how.asStored = false;
      how.digest = state.original;
      return true;
    }
  }
  // A game update replaced the file since: what stands now is the original
  // that this installation changes.
  said.debugLog("changed since the last installation, taken as the original: " + root_ + path);
  how.digest = digest;
  return true;
}

bool GameBackup::keep(const std::string& path, const std::optional<std::string>& original, std::string_view installed,
                      const std::vector<SharedRange>& shared, FolderSync sync) {
  return keep(piecesFor(*report_, path, original, installed, shared), sync);
}

GameBackup::Pieces GameBackup::piecesFor(Reporter& report, const std::string& path,
                                         const std::optional<std::string>& original, std::string_view installed,
                                         const std::vector<SharedRange>& shared, const std::string& originalDigest) {
  Pieces made;
  made.path = path;
  // Only a path in the form the backup reads back, which keeps it out of
  // the backup folder too.
  if (pathInFolder(path) != path) return made;
  made.valid = true;
  made.original = !original ? "" : originalDigest.empty() ? sha256Hex(*original) : originalDigest;
  made.installed = sha256Hex(installed);
  const std::string_view originalBytes = original ? std::string_view(*original) : std::string_view();
  std::vector<Segment> segments = segmentsFor(originalBytes, installed, shared);
  made.text = piecesText(path, made.original, made.installed, segments, originalBytes);
  // The proof: the pieces file as it will be read back rebuilds the
  // original from the installed bytes, or the whole original is kept.
  const auto parsed = readPiecesFile(made.text);
  if (!parsed || !rebuildsExactly(parsed.value(), installed, originalBytes)) {
    report.debugLog("pieces do not rebuild " + path + "; keeping the whole original");
    segments.clear();
    if (!originalBytes.empty()) segments.push_back({false, 0, originalBytes.size()});
    made.text = piecesText(path, made.original, made.installed, segments, originalBytes);
  }
  made.name = sha256Hex(path + "\n" + made.original + "\n" + made.installed).substr(0, kPiecesNameDigits) +
              kPiecesExtension;
  for (const Segment& s : segments) made.kept += s.copy ? 0 : s.length;
  return made;
}

bool GameBackup::keep(const Pieces& pieces, FolderSync sync) {
  if (!pieces.valid) return false;
  (void)files_->makeFolder(folder());
  if (!replaceWholeFile(*files_, folder() + pieces.name, pieces.text, sync)) return false;
  noteKept(pieces);
  return true;
}

void GameBackup::noteKept(const Pieces& pieces) {
  std::erase_if(states_, [&](const State& s) { return s.pieces == pieces.name; });
  State kept{pieces.path, pieces.original, pieces.installed, pieces.name, pieces.kept};
  states_.insert(std::upper_bound(states_.begin(), states_.end(), kept, byPathThenPieces), std::move(kept));
  written_[pieces.path] = pieces.name;
}

bool GameBackup::keepWaiting(const Pieces& pieces) {
  if (!pieces.valid) return false;
  (void)files_->makeFolder(folder());
  auto file = files_->create(folder() + pieces.name);
  if (!file) return false;
  try {
    file->stream().write(pieces.text.data(), pieces.text.size());
  } catch (const std::exception&) {
    return false;
  }
  noteKept(pieces);
  waiting_.push_back({pieces.path, std::move(file)});
  return true;
}

std::vector<GameBackup::WaitingPieces> GameBackup::takeWaiting() { return std::exchange(waiting_, {}); }

std::string GameBackup::placeWaiting(std::vector<WaitingPieces>& waiting, bool* settledAll) const {
  if (settledAll) *settledAll = false;
  if (waiting.empty()) return "";
  // Handed to the system first, so that one sync of the file system puts
  // them all on disk; what the caller handed over meanwhile (the new game
  // files waiting for these) goes with them.
  bool handed = true;
  for (const WaitingPieces& w : waiting) handed = w.file->flushToSystem() && handed;
  const bool settled = handed && files_->syncFileSystem(folder());
  if (settledAll) *settledAll = settled;
  for (const WaitingPieces& w : waiting) {
    if (!files_->replace(*w.file, settled ? FolderSync::Settled : FolderSync::Later)) return w.path;
  }
  files_->syncFolder(folder());
  return "";
}

bool GameBackup::keepFile(const std::string& path, std::string_view installed) {
  std::optional<std::string> current;
  if (files_->status(root_ + path).kind != FileKind::Missing) {
    // A file that is there but cannot be read would be taken for one the
    // installation added, and removed by an uninstallation.
    Result<std::string> read = readWholeFile(*files_, root_ + path);
    if (!read) return false;
    current = std::move(read.value());
  }
  return toOriginal(path, current) && keep(path, current, installed);
}

void GameBackup::reuse(const std::string& path, const std::string& pieces) { written_[path] = pieces; }

std::string GameBackup::installedVersion(const std::string& path, const std::string& installed) const {
  const std::span<const State> versions = versionsOf(path);
  for (const State& state : versions) {
    if (state.original == installed) return "";
  }
  for (const State& state : versions) {
    if (state.installed == installed) return state.pieces;
  }
  return "";
}

void GameBackup::stamp(const std::string& path, const FileStamp& stamp) { stamps_[path] = stamp; }

void GameBackup::untouched(const std::string& path, const FileStamp& stamp) { untouched_[path] = stamp; }

bool GameBackup::unchanged(const std::string& path) const {
  const auto recorded = recorded_.find(path);
  if (recorded == recorded_.end()) {
    const auto left = recordedUntouched_.find(path);
    return left != recordedUntouched_.end() && !knows(path) && stampOf(*files_, root_ + path) == left->second.stamp;
  }
  const Recorded& r = recorded->second;
  const std::span<const State> versions = versionsOf(path);
  const bool loaded = std::any_of(versions.begin(), versions.end(), [&](const State& s) {
    return s.pieces == r.pieces && s.installed == r.installed && s.original != r.installed;
  });
  return loaded && stampOf(*files_, root_ + path) == r.stamp;
}

void GameBackup::reuseRecorded(const std::string& path) {
  if (!recorded_.count(path)) {
    const Manifest::Untouched& left = recordedUntouched_.at(path);
    untouched(path, left.stamp);
    if (!left.inputs.empty()) noteArchive(path, left.inputs);
    return;
  }
  const Recorded& r = recorded_.at(path);
  reuse(path, r.pieces);
  stamp(path, r.stamp);
  if (r.crc) crc(path, *r.crc);
  if (!r.inputs.empty()) noteArchive(path, r.inputs);
}

void GameBackup::crc(const std::string& path, uint32_t crc) { crcs_[path] = crc; }

std::optional<uint32_t> GameBackup::recordedCrc(const std::string& path) const {
  const auto found = recorded_.find(path);
  return found == recorded_.end() ? std::nullopt : found->second.crc;
}

std::string GameBackup::recordedInputs(const std::string& scene) const {
  const auto found = recordedScenes_.find(scene);
  return found == recordedScenes_.end() ? "" : found->second;
}

void GameBackup::noteScene(const std::string& scene, const std::string& inputs) { scenes_[scene] = inputs; }

void GameBackup::noteArchive(const std::string& path, const std::string& inputs) { archives_[path] = inputs; }

std::string GameBackup::recordedArchiveInputs(const std::string& path) const {
  if (const auto found = recorded_.find(path); found != recorded_.end()) return found->second.inputs;
  const auto left = recordedUntouched_.find(path);
  return left == recordedUntouched_.end() ? "" : left->second.inputs;
}

GameBackup::Restored GameBackup::restore(const std::string& path) {
  const std::span<const State> states = versionsOf(path);
  std::vector<const Manifest::File*> orphans;
  for (const Manifest::File& file : orphans_) {
    if (file.path == path) orphans.push_back(&file);
  }
  const auto isOriginal = [&](const std::string& digest) {
    return std::any_of(states.begin(), states.end(), [&](const State& s) { return s.original == digest; }) ||
           std::any_of(orphans.begin(), orphans.end(), [&](const Manifest::File* f) { return f->original == digest; });
  };
  const std::string target = root_ + path;
  if (files_->status(target).kind == FileKind::Missing) {
    if (isOriginal("")) return Restored::Done;
    report_->messageBox(kChangedSince + target);
    return Restored::Changed;
  }
  const auto current = sha256OfFile(*files_, target);
  if (!current) {
    report_->messageBox(kFailedToRead + target);
    return Restored::Failed;
  }
  const std::string& digest = *current;
  if (isOriginal(digest)) return Restored::Done;
  for (const State& state : states) {
    if (state.installed != digest) continue;
    report_->debugLog("restoring " + target);
    if (state.original.empty()) {
      if (files_->removeFile(target)) {
        ++putBack_.removed;
        return Restored::Done;
      }
      report_->messageBox(kFailedToRemove + target);
      return Restored::Failed;
    }
    const Restored rebuilt = putOriginalBack(state, target);
    if (rebuilt == Restored::Done) ++putBack_.rebuilt;
    return rebuilt;
  }
  // The installed version whose pieces are gone or damaged: the manifest
  // still knows it, and names the pieces file at fault.
  for (const Manifest::File* file : orphans) {
    if (file->installed != digest) continue;
    reportDamaged(file->pieces);
    return Restored::Failed;
  }
  report_->messageBox(kChangedSince + target);
  return Restored::Changed;
}

GameBackup::Restored GameBackup::putOriginalBack(const State& state, const std::string& target) {
  auto installed = files_->openRegular(target);
  if (!installed) {
    report_->messageBox(kFailedToRead + target);
    return Restored::Failed;
  }
  const auto damaged = [&] {
    report_->messageBox(kBackupDamaged + folder() + state.pieces);
    return Restored::Failed;
  };
  // Read again when it is used: it must still be the file that was loaded.
  const auto pieces = openPieces(*files_, folder() + state.pieces);
  if (!pieces || pieces.value().header.fields.path != state.path ||
      pieces.value().header.fields.installed != state.installed) {
    return damaged();
  }
  const PiecesHeader& header = pieces.value().header;
  const auto out = files_->create(target);
  if (!out) {
    report_->messageBox(kFailedToWrite + target + refusedWriteAdvice(target));
    return Restored::Failed;
  }
  // The original goes to the new file a block at a time, its digest taken
  // on the way; the new file replaces the installed one only when the digest
  // is the original's, and is dropped (removed) otherwise.
  Sha256 digest;
  std::vector<char> block(kRestoreBlock);
  uint64_t kept = 0;
  try {
    for (const PiecesStep& step : header.fields.steps) {
      ReadableFile& from = step.copy ? *installed : *pieces.value().file;
      uint64_t at = step.copy ? step.from : header.dataAt + kept;
      if (step.copy && (step.from > installed->size() || step.length > installed->size() - step.from)) {
        return damaged();
      }
      if (!step.copy) kept += step.length;
      for (uint64_t left = step.length; left > 0;) {
        const auto count = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        if (!from.readAt(at, block.data(), count)) {
          if (!step.copy) return damaged();
          report_->messageBox(kFailedToRead + target);
          return Restored::Failed;
        }
        digest.add(std::string_view(block.data(), count));
        out->stream().write(block.data(), count);
        at += count;
        left -= count;
      }
    }
  } catch (const StreamError&) {
    report_->messageBox(kFailedToWrite + target + refusedWriteAdvice(target));
    return Restored::Failed;
  }
  if (digest.hex() != state.original) return damaged();
  // Windows renames nothing over a file that is still open, even one opened
  // to be shared with a deletion.
  installed.reset();
  if (!files_->replace(*out, FolderSync::Now)) {
    report_->messageBox(kFailedToWrite + target + refusedWriteAdvice(target));
    return Restored::Failed;
  }
  return Restored::Done;
}

bool GameBackup::writeManifest(const std::string& package, const std::set<std::string>* keptPieces,
                               const std::vector<Manifest::File>& alsoKept) const {
  (void)files_->makeFolder(folder());
  const std::string date = nowUtc();
  return replaceWholeFileWith(*files_, folder() + kBackupManifest, [&](Stream& stream) {
    ManifestWriter manifest([&stream](std::string_view block) { stream.write(block.data(), block.size()); });
    manifest.begin(package, date);
    for (const State& s : states_) {
      if (keptPieces && !keptPieces->count(s.pieces)) continue;
      ManifestWriter::File file{s.path, s.original, s.installed, s.pieces, s.kept, nullptr, std::nullopt, ""};
      // A stamp, a CRC and inputs only for the version this installation
      // left in the game.
      const auto written = written_.find(s.path);
      const auto stamped = stamps_.find(s.path);
      if (written != written_.end() && written->second == s.pieces && stamped != stamps_.end()) {
        file.stamp = &stamped->second;
        if (const auto crc = crcs_.find(s.path); crc != crcs_.end()) file.crc = crc->second;
        if (const auto inputs = archives_.find(s.path); inputs != archives_.end()) file.inputs = inputs->second;
      }
      manifest.file(file);
    }
    for (const Manifest::File& f : alsoKept) manifest.file(ManifestWriter::File::of(f));
    for (const auto& [path, stamp] : untouched_) {
      if (written_.count(path)) continue;
      const auto inputs = archives_.find(path);
      manifest.untouched(path, stamp, inputs == archives_.end() ? std::string_view() : inputs->second);
    }
    for (const auto& [scene, inputs] : scenes_) manifest.scene(scene, inputs);
    for (const std::string& made : folders_) manifest.folder(made);
    manifest.end();
  });
}

bool GameBackup::madeFolders(const std::vector<std::string>& made) {
  if (made.empty()) return true;
  folders_.insert(made.begin(), made.end());
  // The manifest as it was read but for the folders: what it says of the
  // game's files stays true until this installation rewrites it.
  Manifest manifest = manifest_;
  if (!manifestFound_) manifest.date = nowUtc();
  manifest.folders.assign(folders_.begin(), folders_.end());
  (void)files_->makeFolder(folder());
  if (!replaceWholeFile(*files_, folder() + kBackupManifest, manifestText(manifest))) return false;
  manifest_ = std::move(manifest);
  manifestFound_ = true;
  return true;
}

void GameBackup::removeEmptyFolders() {
  std::vector<std::string> innermostFirst(folders_.begin(), folders_.end());
  const auto depth = [](const std::string& path) { return std::count(path.begin(), path.end(), '/'); };
  std::stable_sort(innermostFirst.begin(), innermostFirst.end(),
                   [&](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
  for (const std::string& made : innermostFirst) {
    const std::string at = root_ + made;
    // Only an empty folder goes; one holding anything, or something that
    // is no folder, is not this program's to remove.
    if (files_->isLink(at) || files_->status(at).kind != FileKind::Folder) {
      folders_.erase(made);
    } else if (files_->removeFolder(at)) {
      report_->debugLog("removed the folder an installation made: " + at);
      folders_.erase(made);
    }
  }
}

void GameBackup::removeBackup() {
  // The manifest goes first: pieces files without it are a backup the next
  // run still understands, a manifest without its pieces is not.
  (void)files_->removeFile(folder() + kBackupManifest);
  dropAllBut({});
  // Damaged pieces of files that are back as they were stand for nothing.
  for (const Manifest::File& file : orphans_) (void)files_->removeFile(folder() + file.pieces);
  (void)files_->removeFolder(folder());
}

void GameBackup::dropAllBut(const std::set<std::string>& keptPieces) {
  for (const State& s : states_) {
    if (!keptPieces.count(s.pieces)) (void)files_->removeFile(folder() + s.pieces);
  }
  std::erase_if(states_, [&](const State& s) { return !keptPieces.count(s.pieces); });
}

std::set<std::string> GameBackup::replacingVersions() const {
  std::set<std::string> paths;
  for (const State& s : states_) {
    const auto written = written_.find(s.path);
    if (written != written_.end() && written->second != s.pieces) paths.insert(s.path);
  }
  return paths;
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
    for (const State& state : versionsOf(path)) keptPieces.insert(state.pieces);
  }
  removeEmptyFolders();
  if (keptPieces.empty()) {
    // Nothing of this or an earlier installation is in the game: no backup.
    removeBackup();
    return ok;
  }
  if (!writeManifest(package, &keptPieces)) {
    const std::string manifest = folder() + kBackupManifest;
    report_->messageBox(kFailedToWrite + manifest + refusedWriteAdvice(manifest));
    return false;
  }
  dropAllBut(keptPieces);
  return ok;
}

int GameBackup::restoreAll(const std::function<bool()>& stopRequested) {
  putBack_.tried = true;
  std::set<std::string> paths;
  for (const State& s : states_) paths.insert(s.path);
  for (const Manifest::File& file : orphans_) paths.insert(file.path);
  // New files that a killed run left beside the game files it wrote.
  std::map<std::string, std::set<std::string>> byFolder;
  for (const std::string& path : paths) {
    for (const std::string& file : {root_ + path, files_->linkTarget(root_ + path)}) {
      const size_t slash = file.rfind('/');
      byFolder[file.substr(0, slash)].insert(file.substr(slash + 1));
    }
  }
  for (const auto& [where, names] : byFolder) {
    if (const size_t removed = removeLeftovers(*files_, where, names)) {
      report_->debugLog("removed " + std::to_string(removed) + " unfinished file(s) in " + where);
    }
  }
  // Damaged files of the backup that name no game file the rest knows: the
  // game file they stand for cannot be put back, nor even named.
  for (const std::string& name : strays_) reportDamaged(name);
  if (manifestDamaged_) reportDamaged(kBackupManifest);
  std::set<std::string> left;
  size_t notReached = 0;
  for (const std::string& path : paths) {
    // Asked between files only, so every game file is whole, original or
    // installed, and the backup still knows each one left installed.
    if (notReached > 0 || (stopRequested && stopRequested())) {
      ++notReached;
    } else if (restore(path) == Restored::Done) {
      continue;
    } else {
      report_->messageBox(kNotPutBack + root_ + path);
    }
    left.insert(path);
  }
  putBack_.stopped = notReached;
  putBack_.left = left.size() + strays_.size();
  removeEmptyFolders();
  if (putBack_.left == 0 && !manifestDamaged_) {
    removeBackup();
    return 1;
  }
  // The files left as they are keep their backup, and their place in the
  // manifest, for another try. A manifest that cannot be read stays as it
  // is: it may name files whose pieces are gone.
  std::set<std::string> keptPieces;
  std::vector<Manifest::File> alsoKept;
  for (const State& s : states_) {
    if (left.count(s.path)) keptPieces.insert(s.pieces);
  }
  for (const Manifest::File& file : orphans_) {
    if (left.count(file.path)) alsoKept.push_back(file);
  }
  if (!manifestDamaged_) {
    if (!writeManifest(manifest_.package, &keptPieces, alsoKept)) {
      // The old manifest still names every file: nothing is dropped.
      report_->debugLog("cannot write " + folder() + kBackupManifest);
      return 0;
    }
  }
  dropAllBut(keptPieces);
  return 0;
}

bool GameBackup::found() const { return manifestFound_ || !states_.empty() || !damage_.empty(); }

}  // namespace vh
