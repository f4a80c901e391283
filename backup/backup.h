// The way back from an installation. Before the installation first writes a
// game file, the backup keeps what rebuilds the original from the file the
// installation writes: for an archive the bytes that change (header and
// table, record file, replaced pictures, bytes its table does not cover),
// the members it leaves alone being taken back from the installed file; for
// any other file the whole original. Each rebuild is proven, by the
// original's SHA-256, before the game file is touched; where the proof
// fails the whole original is kept.
//
// It all lives in the hidden folder ".vhpatch-backup/" of the game folder:
// one pieces file per installed version of a game file, written before that
// file, and a manifest that an installation rewrites when it ends. A pieces
// file names its game file and both digests, so an installation or an
// uninstallation killed at any point leaves a backup that still knows every
// file it wrote.
//
// The manifest is what lets the next installation leave alone what it would
// only write again, and what tells an uninstallation which files to expect
// pieces for; it also names the folders an installation made. Both files
// are read and written by backup_records, whose header shows them.
//
// The pieces files stay the authority on what rebuilds what; the manifest's
// stamps and scene inputs only allow skipping. A manifest without them (an
// older one, or one an uninstallation wrote) skips nothing.
//
// Nothing in the backup folder is trusted: a pieces file or a manifest that
// does not read back whole, or that names a path the installer could not
// have written, makes the backup damaged. An installation then writes
// nothing; an uninstallation puts back what the rest of the backup allows.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "backup/backup_records.h"
#include "common/file_system.h"
#include "common/files.h"

namespace vh {

class Reporter;
class tXARC;

inline constexpr const char* kBackupFolder = ".vhpatch-backup/";
// The folder the path rule keeps packages out of, with its slash.
static_assert(std::string_view(kBackupFolder).size() == std::string_view(kBackupFolderName).size() + 1 &&
              std::string_view(kBackupFolder).starts_with(kBackupFolderName));

// A member's data in the archive as it was read, before any change.
struct MemberSpan {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// Bytes the original may share with the installed file: `length` bytes at
// `original` in the one, at `installed` in the other.
struct SharedRange {
  uint64_t original = 0;
  uint64_t installed = 0;
  uint64_t length = 0;
};

std::vector<MemberSpan> memberSpans(const tXARC& archive);
// The members that kept their length, as ranges from where they stood in
// the original (`before`) to where the saved archive of `installedSize`
// bytes holds them. Only candidates: the backup compares the bytes.
std::vector<SharedRange> sharedMembers(const std::vector<MemberSpan>& before, const tXARC& saved,
                                       uint64_t installedSize);

class GameBackup {
 public:
  // One installed version of a game file.
  struct State {
    std::string path;      // relative to the game folder, with slashes
    std::string original;  // SHA-256 hex; "" when the file was not there
    std::string installed;
    std::string pieces;  // the pieces file's name in the backup folder
    uint64_t kept = 0;   // bytes of the original it keeps
  };

  // The backup of the game in `gameRoot`, read and written through `files`;
  // its messages and debug lines go to `report`.
  GameBackup(Reporter& report, FileSystem& files, std::string gameRoot);
  // Where its messages and debug lines go from now on.
  void reportTo(Reporter& report) { report_ = &report; }

  // Reads every pieces file of the backup folder and its manifest, and
  // removes every unfinished file a killed writer left there. False after
  // its message when the backup folder is there but is no folder (a link
  // leads elsewhere): nothing may be written through it.
  [[nodiscard]] bool load();
  bool empty() const { return states_.empty(); }
  // True when the backup folder holds pieces files or a manifest, readable
  // or not.
  bool found() const;
  const std::vector<State>& states() const { return states_; }
  std::string folder() const { return root_ + kBackupFolder; }

  // A file of the backup folder that cannot be trusted: a pieces file or a
  // manifest that does not read whole or names a path the installer could
  // not have written, or a pieces file the manifest names that is not there
  // while its game file is not the original.
  struct Damage {
    std::string file;  // its name in the backup folder
    std::string why;
    // Not read at all: no regular file (a pipe, a device), or a read that
    // failed.
    bool notRead = false;
  };
  const std::vector<Damage>& damage() const { return damage_; }
  // Says, for each damaged file, "failed to read:" and its path when it
  // could not be read, else "backup damaged, cannot restore:" and its path;
  // true when there is none. An installation over a damaged backup would
  // take an installed file for an original and lose the real one.
  [[nodiscard]] bool reportDamage() const;

  // Turns `content`, the game file at `path` as it stands (none when it is
  // not there), into its original: unchanged when the backup does not know
  // it as an installed version. False after a message when the backup that
  // should rebuild it is damaged.
  // A file that is neither an original nor an installed version is rebuilt
  // from the pieces whose rebuild gives a known original's digest; with none
  // it is taken as a new original. `origin`, when given, tells how.
  struct Origin {
    bool asStored = true;   // the content is the file as it stands
    std::string pieces;     // else the installed version it came back from,
    std::string installed;  // and that version's digest; both "" when the
                            // file was changed since and rebuilt
    // The SHA-256 of the content as it leaves it, where it took one (the
    // backup knew the file); "" when it took none.
    std::string digest;
  };
  // Its messages go to `report` when given, else to the backup's own.
  [[nodiscard]] bool toOriginal(const std::string& path, std::optional<std::string>& content,
                                Origin* origin = nullptr, Reporter* report = nullptr) const;
  // True when the backup holds any version of `path`.
  bool knows(const std::string& path) const { return !versionsOf(path).empty(); }

  // The file at `path` stays as the installed version of `pieces` made it:
  // this installation keeps that backup without writing it again.
  void reuse(const std::string& path, const std::string& pieces);
  // The pieces of the installed version of `path` whose digest is
  // `installed`; "" when the backup knows none (the file is an original, or
  // unknown).
  std::string installedVersion(const std::string& path, const std::string& installed) const;
  // The stamp of `path` after this installation wrote or checked it.
  void stamp(const std::string& path, const FileStamp& stamp);
  // `path` is an original that this installation found it has no need to
  // change, as `stamp` shows it.
  void untouched(const std::string& path, const FileStamp& stamp);
  // True when the last installation's manifest recorded `path` with a stamp
  // that the file still has, and the pieces of that version are loaded (or,
  // for a file it left untouched, the backup holds no version of it).
  bool unchanged(const std::string& path) const;
  // reuse() with the manifest's pieces, stamp and CRC; only after
  // unchanged().
  void reuseRecorded(const std::string& path);
  // The CRC-32 of the bytes this installation left at `path` (an extra
  // file), as the package's member recorded it: the next installation of a
  // member with the same CRC and size need not inflate it to compare.
  void crc(const std::string& path, uint32_t crc);
  // The CRC the last installation recorded with the stamp of `path`.
  std::optional<uint32_t> recordedCrc(const std::string& path) const;
  // The inputs digest the last installation recorded for `scene`; "" when
  // it recorded none.
  std::string recordedInputs(const std::string& scene) const;
  // Records that `scene` was installed whole from inputs with digest `inputs`.
  void noteScene(const std::string& scene, const std::string& inputs);
  // Likewise for the archive at `path`: kept in the manifest with its stamp
  // only, which alone says that the file still holds what those inputs made.
  void noteArchive(const std::string& path, const std::string& inputs);
  // The inputs digest the last installation recorded with the stamp of the
  // archive at `path`; "" when none.
  std::string recordedArchiveInputs(const std::string& path) const;

  // Before the game file at `path` becomes `installed`: keeps what rebuilds
  // `original` (none: the file was not there) from it, taking the shared
  // ranges whose bytes really match from the installed file. False when the
  // pieces file could not be written; nothing in the game was touched then.
  // With FolderSync::Later the pieces file is on disk but its name may not
  // be: the caller syncs folder() before the game file is renamed, and so
  // needs one sync for many files.
  [[nodiscard]] bool keep(const std::string& path, const std::optional<std::string>& original,
                          std::string_view installed, const std::vector<SharedRange>& shared = {},
                          FolderSync sync = FolderSync::Now);
  // What keep() writes, worked out from the bytes alone (digests, pieces,
  // their proof), its debug lines going to `report`. It touches nothing of
  // a backup, so an installation makes it on another thread while its own
  // writes the files before.
  struct Pieces {
    std::string path, original, installed;  // the digests, SHA-256 hex
    std::string name;                       // of the pieces file
    std::string text;                       // its bytes
    uint64_t kept = 0;
    bool valid = false;  // `path` is in the form the backup reads back
  };
  // `originalDigest`, when not "", is the original's SHA-256 already taken
  // (Origin::digest).
  static Pieces piecesFor(Reporter& report, const std::string& path, const std::optional<std::string>& original,
                          std::string_view installed, const std::vector<SharedRange>& shared,
                          const std::string& originalDigest = "");
  // keep() with pieces made beforehand.
  [[nodiscard]] bool keep(const Pieces& pieces, FolderSync sync);
  // keep() for an installation that renames many game files after one
  // sync: the pieces file is written whole under its new name and waits,
  // with others, for takeWaiting() and placeWaiting(). False when it could
  // not be written.
  [[nodiscard]] bool keepWaiting(const Pieces& pieces);
  // A pieces file keepWaiting() wrote, not yet in place.
  struct WaitingPieces {
    std::string path;  // of the game file
    std::unique_ptr<NewFile> file;
  };
  // The pieces files keepWaiting() wrote since the last call, to be placed.
  [[nodiscard]] std::vector<WaitingPieces> takeWaiting();
  // Puts `waiting` on disk (with one sync of the whole file system where the
  // platform has it, else file by file), renames them into place and syncs
  // the backup folder: from then on they rebuild the originals of the game
  // files they name. "" when all are in place, else the game file
  // (relative) whose pieces could not be; the caller drops `waiting`, and
  // with it those not renamed.
  // `settled`, when given, tells whether one sync of the backup's file
  // system did it: what the caller handed to the system before
  // (NewFile::flushToSystem) on that file system is on disk too. It touches
  // nothing of this backup but its file system, so it may run on another
  // thread while the installation writes and records the next files.
  [[nodiscard]] std::string placeWaiting(std::vector<WaitingPieces>& waiting, bool* settled = nullptr) const;
  // keep() for a file copied whole: its current content, taken back to its
  // original, is what is kept.
  [[nodiscard]] bool keepFile(const std::string& path, std::string_view installed);

  // The game files this installation wrote anew over a version whose pieces
  // finishInstallation drops: their renames must be on disk before it runs.
  std::set<std::string> replacingVersions() const;

  // At the end of an installation of the package with digest `package`:
  // files an earlier installation wrote and this one did not are put back,
  // the manifest is rewritten, and pieces files of versions no longer
  // installed go. False after its messages when a file could not be put back
  // or the manifest could not be written.
  [[nodiscard]] bool finishInstallation(const std::string& package);

  // Before an extra file is written into `made`, folders it needed and
  // that the game did not have (relative, the outermost first): recorded in
  // the manifest at once, so that an uninstallation removes them even after
  // an installation that ends early. False when the manifest could not be
  // written; nothing was written into the folders then.
  [[nodiscard]] bool madeFolders(const std::vector<std::string>& made);

  // Puts every file back, then removes the backup. 1 when the game is as it
  // was before the first installation; 0 when a file could not be put back:
  // each gets a line "not put back, kept in the backup:" after the reason,
  // keeps its pieces and its place in the manifest. `stopRequested`, when
  // given, is asked between two files; once it says yes, the files not yet
  // put back keep their backup (counted in putBack().stopped).
  int restoreAll(const std::function<bool()>& stopRequested = {});

  // What putting files back did to the game folder.
  struct PutBack {
    size_t rebuilt = 0;  // originals written back over installed files
    size_t removed = 0;  // files the installation had added
    size_t left = 0;     // files not put back, kept in the backup
    size_t stopped = 0;  // of those, the ones a stop came before
    bool tried = false;  // the backup was read and the files gone through
  };
  const PutBack& putBack() const { return putBack_; }

 private:
  // The version `pieces` keeps is this installation's for its file.
  void noteKept(const Pieces& pieces);
  enum class Restored { Done, Changed, Failed };
  Restored restore(const std::string& path);
  // Rebuilds the original of `state` from the installed file at `target`
  // into a new file beside it, a block at a time, and puts it in place only
  // when its digest is the original's.
  Restored putOriginalBack(const State& state, const std::string& target);
  // The versions of `path` the backup keeps, as a run of `states_`.
  std::span<const State> versionsOf(const std::string& path) const;
  std::optional<std::string> rebuild(const State& state, std::string_view installed) const;
  // The manifest of the states whose pieces are among `keptPieces` (of
  // every state without it), with `alsoKept` for files whose pieces are
  // gone but whose entry stays.
  bool writeManifest(const std::string& package, const std::set<std::string>* keptPieces = nullptr,
                     const std::vector<Manifest::File>& alsoKept = {}) const;
  void takeManifest(const Manifest& manifest);
  void dropAllBut(const std::set<std::string>& keptPieces);
  // Removes the recorded folders that are empty, the innermost first, and
  // forgets those no longer there.
  void removeEmptyFolders();
  // Removes the manifest, the pieces files and the backup folder.
  void removeBackup();
  // The message naming the damaged file `name` of the backup folder.
  void reportDamaged(const std::string& name) const;

  // A game file as the last manifest recorded it.
  struct Recorded {
    std::string pieces;
    std::string installed;
    FileStamp stamp;
    std::optional<uint32_t> crc;
    std::string inputs;
  };

  Reporter* report_;
  FileSystem* files_;
  std::string root_;
  std::vector<State> states_;  // sorted by file, then by pieces file
  std::vector<Damage> damage_;
  bool manifestFound_ = false;
  bool manifestDamaged_ = false;
  Manifest manifest_;  // as read; empty when there was none
  // Files the manifest names whose pieces are missing or damaged.
  std::vector<Manifest::File> orphans_;
  // Damaged pieces files that the manifest names for no game file.
  std::vector<std::string> strays_;
  // The pieces file each game file got from the installation now running.
  std::map<std::string, std::string> written_;
  std::map<std::string, FileStamp> stamps_;  // likewise
  std::map<std::string, uint32_t> crcs_;  // likewise
  std::map<std::string, std::string> scenes_;  // likewise: scene to inputs
  std::map<std::string, std::string> archives_;  // likewise: archive to inputs
  std::map<std::string, FileStamp> untouched_;  // likewise
  std::set<std::string> folders_;  // made by this or an earlier installation
  std::map<std::string, Recorded> recorded_;
  std::map<std::string, Manifest::Untouched> recordedUntouched_;
  std::map<std::string, std::string> recordedScenes_;
  PutBack putBack_;
  // Pieces files written, not yet taken to be placed (keepWaiting).
  std::vector<WaitingPieces> waiting_;
};

}  // namespace vh
