// The patch package reader: patch.dat loaded into ordered tables of scenes,
// their sub-scenes and translation tables, with the add-on entries attached
// to their scenes. The package stays open for the life of the tPatch, so the
// installer can copy the extra files out of it later.
//
// Members: "patchscene.lst" (required), "trans/<scene>.trz", "addon.lst" with
// "addon/<name>", "extra.lst" with "extra/<path>", "images/images.lst" with
// "images/<stem>.xmg", "fingerprint.lst". Every list is key=value lines read
// by the line rule.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/byte_buffer.h"
#include "common/containers.h"
#include "common/fault.h"
#include "common/stream.h"
#include "package/fingerprint.h"
#include "support/known_stream.h"
#include "translation/trz.h"

namespace vh {

class ExtraFilesCheck;
class LoadBudget;
class Reporter;
class ZipInflateStream;
class ZipReader;
class tTrz;

class tPatchImage {
 public:
  std::string name;       // the image's file name in the image list
  std::string oname;      // the archive member it replaces
  std::string scenename;  // the scene that owns the archive
  std::string subname;    // the sub-scene whose archive holds the member
  ByteBufferPtr imagebuffer;
};

class tSubScene {
 public:
  std::string name;
  std::string path;  // the archive, relative to the game folder
  std::shared_ptr<List<std::shared_ptr<tPatchImage>>> images;

  int addImage(std::shared_ptr<tPatchImage> image);
  int hasImages() const { return images && !images->empty() ? 1 : 0; }
};

class tPatchScene {
 public:
  std::string name;
  OrderedMap<std::shared_ptr<tSubScene>> subs;
  int32_t subcount = 0;  // every "sub" line, including repeated names
  std::shared_ptr<tTrz> trz;  // none when the package has no table for it
};

class tPatch {
 public:
  // Messages and debug lines go to `report`.
  explicit tPatch(Reporter& report);
  ~tPatch();
  tPatch(const tPatch&) = delete;
  tPatch& operator=(const tPatch&) = delete;

  OrderedMap<std::shared_ptr<tPatchScene>> scenes;
  std::shared_ptr<ZipReader> z;
  int32_t scncount = 0;  // every "scene" line, including repeated names
  List<tTransRecord> addonRecords;
  // The game the package was made for, by archive; empty when the package
  // carries no "fingerprint.lst".
  Fingerprints fingerprints;

  // Called on the reading thread once the scene list is read, before the
  // translation data: the scenes and their archives' paths are known from
  // then on (an installation that follows at once starts to look at the
  // game's folders meanwhile). The package may still be refused after it.
  std::function<void()> scenesRead;

  // Reads "addon.lst" and its records; the list ends up in reverse order.
  int readAddon();
  // One add-on record, read as it streams: its value is held only while the
  // installer could write it (tTransRecord::overlongValue), any other line
  // to its first 64 KiB.
  tTransRecord readAddonRecord(Stream& stream);
  // 0 when "patchscene.lst" is missing, damaged, or names an archive path
  // that could leave the game folder.
  int readSceneList();
  int readTRZ();
  // Appends the add-on records of `scene` to its translation table.
  int checkAddon(tPatchScene& scene);
  // The image list read and its pictures held, showing nothing: nothing
  // without an image list or when every entry is valid, else the fault of
  // the first bad entry (an unknown scene or sub-scene, a missing image
  // member, or one that is damaged or does not fit the load budget), its
  // detail the message the installer shows.
  [[nodiscard]] std::optional<Fault> readImageList();
  // readImageList() with its fault shown: 1, or 0 after the message.
  int readImages();
  // The package, its scene list and its translation data loaded, and every
  // member the installation reads or copies checked, showing nothing. A
  // package whose index and tables would cost more memory than LoadBudget
  // allows (BadSize), a scene with more than tTrz::kMaxEntries entries (BadSize), a
  // damaged member or an archive path outside the game folder (Damaged) is
  // refused; the fault's detail is the message that names the member or
  // path. A missing file is CannotOpen.
  [[nodiscard]] std::optional<Fault> read(const std::string& url);
  // read(url) with its fault shown: 1 when loaded, 0 after the one message.
  int open(const std::string& url);
  // As open(url), but the extra files (a font of tens of megabytes) may
  // still be being checked on their thread when it returns, for a caller
  // with work to do meanwhile that writes nothing: it must take
  // extrasChecked() before it writes. An extra file whose stream is one of
  // `known` (from the build that has just written the package) is checked
  // by its stored bytes' CRC-32 instead of inflated, when the package still
  // holds that very stream (ZipReader::CheckFile).
  int openCheckingExtrasMeanwhile(const std::string& url, KnownStreams known = {});
  // The check openCheckingExtrasMeanwhile() left running, taken, showing
  // nothing: the fault that refuses the package (a damaged extra file), or
  // nothing when there is none or no check was left running. Waits for it.
  [[nodiscard]] std::optional<Fault> extrasChecked();

 private:
  // The member's stream, its bytes counted against the budget while it
  // lives; null when it is missing, and null with the package refused when
  // it is damaged or does not fit.
  std::shared_ptr<Stream> extract(const std::string& member);
  // The member as a stream that inflates as it is read, costing only its
  // blocks; null when it is missing, and null with the package refused when
  // it cannot be opened.
  std::unique_ptr<ZipInflateStream> stream(const std::string& member);
  // The rest of a streamed member read through and checked; false, with the
  // package refused, when it is damaged.
  bool finished(ZipInflateStream& stream, const std::string& member);
  // Counts `bytes` the tables keep; refuses the package, naming `member`,
  // when they do not fit. False then.
  bool hold(uint64_t bytes, const std::string& member);
  // The extra list and every extra file it names, read through once.
  void checkExtra();
  // The verdict of `check`, which read them on another thread, taken as
  // checkExtra's; checkExtra itself when there is none or it cannot be
  // trusted to be of this package.
  void takeExtraCheck(ExtraFilesCheck* check);
  // The package's tables read, with the extra files' check, when it runs on
  // its own thread, left in pendingCheck_ if `wait` is false and nothing
  // else refused the package.
  [[nodiscard]] std::optional<Fault> read(const std::string& url, bool wait, KnownStreams known);
  // The game-version fingerprints, when the package carries them.
  void readFingerprintList();
  // 1 without a fault; else 0, after its message.
  int shown(const std::optional<Fault>& fault);
  // Keeps the first refusal's kind and message.
  void refuse(FaultKind kind, const std::string& message);
  // The refusal as a fault, or `message` of `kind` while there is none.
  Fault refusalOr(FaultKind kind, const std::string& message) const;

  Reporter& report_;
  std::shared_ptr<LoadBudget> budget_;
  // The message of the first fault that refuses the package; empty while
  // there is none.
  std::string refusal;
  FaultKind refusalKind_ = FaultKind::Damaged;
  // The extra files' check that read() left running.
  std::unique_ptr<ExtraFilesCheck> pendingCheck_;
};

}  // namespace vh
