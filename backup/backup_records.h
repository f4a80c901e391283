// The two kinds of file in the backup folder, read and written: the pieces
// files and the manifest. They lie in the game folder, where anything may
// have written them (an older program, a package of a version that let one
// through, the player), so they are read as untrusted bytes: every record is
// checked whole, and every path in them must be one the installer itself
// could have written, in its one normalised form (common/files.h). Nothing
// here opens a file or shows a message; the backup (backup.h) does both.
//
// A pieces file, lines ended by LF, then the kept bytes:
//
//   vhpatch pieces 1
//   path=Forest/03/03.xarc      relative to the game folder
//   original=<sha-256 hex>      empty when the installation added the file
//   installed=<sha-256 hex>
//   copy=<offset> <length>      bytes of the installed file, in the order
//   keep=<length>               the original holds them; keep takes the
//   data                        next bytes after this line
//
// The manifest, lines ended by CR LF, blocks closed by ">>":
//
//   vhpatch backup 4
//   package=<sha-256 hex>       the package installed
//   date=2026-12-08T16:31:00Z
//   file=Forest/03/03.xarc      one block per installed game file
//   original=<sha-256 hex>
//   installed=<sha-256 hex>
//   pieces=<name>.pieces
//   kept=<bytes of the original the pieces keep>
//   stamp=<size> <mtime ns> <ctime ns> <identity>   as the installation left it
//   crc=<8 hex digits>          an extra file's CRC-32, as its package member
//                               recorded it (its stamp, then, is there too)
//   inputs=<sha-256 hex>        an archive's inputs (its stamp is there too)
//   >>
//   untouched=Forest/04/04.xarc   a game file the package leaves as it was,
//   stamp=<size> <mtime ns> <ctime ns> <identity>   as the installation saw it
//   inputs=<sha-256 hex>        an archive's inputs, as in a file block
//   >>
//   scene=Forest                one block per scene installed whole
//   inputs=<sha-256 hex>        of its table, pictures, sub-scenes, program
//   >>
//   folder=docs/fonts           a folder an installation made for its files
//   >>
//   end                         the manifest is whole
//
// Version 1 (written until folders were recorded) has no folder blocks and
// no "end" line; version 2 no "crc" line; version 3 no "inputs" line in a
// file or untouched block. All are read as they are.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/fault.h"
#include "common/file_system.h"  // FileStamp

namespace vh {

inline constexpr const char* kPiecesExtension = ".pieces";
inline constexpr const char* kBackupManifest = "manifest";

// One step of rebuilding an original: bytes copied from the installed file
// (`from` is their offset there), or the next `length` kept bytes.
struct PiecesStep {
  bool copy = false;
  uint64_t from = 0;
  uint64_t length = 0;
  bool operator==(const PiecesStep&) const = default;
};

struct PiecesFile {
  std::string path;       // relative to the game folder, normalised
  std::string original;   // SHA-256 hex; "" when the installation added the file
  std::string installed;  // SHA-256 hex
  std::vector<PiecesStep> steps;
  std::string_view data;  // the kept bytes, in the text read or to be written
};

// The name of a pieces file: 32 lower-case hex digits and ".pieces". No
// other name in a record may stand for a file of the backup folder.
bool isPiecesName(std::string_view name);

// A fault (Damaged) names the field at fault; the data view points into
// `text`.
Result<PiecesFile> readPiecesFile(std::string_view text);

// The lines of a pieces file up to its "data" line, for reading the kept
// bytes from the file itself rather than holding them: `text` is the file's
// beginning (its header whole, and any part of its data), `fileSize` the
// whole file's, against which the kept lengths are checked as
// readPiecesFile checks them. The fields' data view is empty.
struct PiecesHeader {
  PiecesFile fields;
  uint64_t dataAt = 0;  // where the kept bytes begin
};
Result<PiecesHeader> readPiecesHeader(std::string_view text, uint64_t fileSize);
// Where the header of a pieces file ends: its "data" line, which a reader
// looks for in the file's first bytes.
inline constexpr std::string_view kPiecesDataLine = "\ndata\n";
std::string piecesFileText(const PiecesFile& pieces);

struct Manifest {
  struct File {
    std::string path, original, installed, pieces;
    uint64_t kept = 0;
    std::optional<FileStamp> stamp;
    std::optional<uint32_t> crc;
    std::string inputs;  // an archive's inputs digest; "" when none
    bool operator==(const File&) const = default;
  };
  struct Untouched {
    std::string path;
    FileStamp stamp;
    std::string inputs;  // likewise
    bool operator==(const Untouched&) const = default;
  };
  int version = 4;
  std::string package;  // SHA-256 hex, or "" when unknown
  std::string date;
  std::vector<File> files;
  std::vector<Untouched> untouched;
  std::map<std::string, std::string> scenes;  // scene name to inputs digest
  std::vector<std::string> folders;
  bool operator==(const Manifest&) const = default;
};

// Reads versions 1 to 4; writes version 4.
Result<Manifest> readManifest(std::string_view text);
std::string manifestText(const Manifest& manifest);

// The text of a manifest, made a block at a time and handed to `out`
// (about kBlock bytes at once, the last block at end()), in the order the
// calls come: begin, then files, untouched files, scenes and folders. A
// game of thousands of archives has a manifest of hundreds of kilobytes,
// which the backup writes without holding it whole; the fields are read
// where they lie.
class ManifestWriter {
 public:
  static constexpr size_t kBlock = size_t{64} << 10;
  struct File {
    std::string_view path, original, installed, pieces;
    uint64_t kept = 0;
    const FileStamp* stamp = nullptr;
    std::optional<uint32_t> crc;
    std::string_view inputs;
    // The fields of a file block as read, where they lie.
    static File of(const Manifest::File& f) {
      return {f.path, f.original, f.installed, f.pieces, f.kept, f.stamp ? &*f.stamp : nullptr, f.crc, f.inputs};
    }
  };

  explicit ManifestWriter(std::function<void(std::string_view)> out);
  void begin(std::string_view package, std::string_view date);
  void file(const File& f);
  void untouched(std::string_view path, const FileStamp& stamp, std::string_view inputs);
  void scene(std::string_view scene, std::string_view inputs);
  void folder(std::string_view folder);
  void end();

 private:
  void line(std::string_view key, std::string_view value);
  void closeBlock();
  std::function<void(std::string_view)> out_;
  std::string text_;
};

}  // namespace vh
