// Quick looks at the local disk for code that only reads what it is handed
// (the working tree, the toolkit's files, Wine's prefixes): a file's kind,
// size and time, and folder listings in the file system's own order; the
// platform's regular-file reader; and the one rule for paths written into a
// folder. What writes into the game goes through the FileSystem it is
// handed (common/file_system.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system.h"  // FileKind

namespace vh {

FileKind fileKind(const std::string& path);
bool fileExists(const std::string& path);  // a regular file
bool folderExists(const std::string& path);
int64_t fileSize(const std::string& path);      // -1 when missing
std::time_t fileModTime(const std::string& path);  // 0 when missing

// A file that is regular (after its links), open for reading. Whatever else
// stands at the path is refused before a byte is read: a pipe without a
// writer would hold the open forever, a device such as /dev/zero never ends,
// and a folder holds no bytes. The open itself never blocks (O_NONBLOCK,
// cleared again once fstat has seen a regular file).
//
// Every read of a file that comes from outside the program (game files,
// extra files, the backup, the package) goes through here, most of them
// through the local file system's openRegular. A read that a signal
// interrupts fails rather than carrying on: a run that listens for signals
// hears a stop even while a slow disk holds a read.
class RegularFile {
 public:
  // Nothing when the path is missing, cannot be opened, or is no regular
  // file.
  static std::optional<RegularFile> open(const std::string& path);
  ~RegularFile();
  RegularFile(RegularFile&& other) noexcept;
  RegularFile& operator=(RegularFile&& other) noexcept;
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Its size when it was opened.
  uint64_t size() const { return size_; }
  // Reads from where the last read stopped: the bytes read, 0 at the end,
  // nothing when the read failed.
  std::optional<size_t> read(void* into, size_t count);
  // Exactly `count` bytes at `offset`; false when the file holds fewer
  // there or the read fails.
  [[nodiscard]] bool readAt(uint64_t offset, void* into, size_t count) const;
  // The descriptor, which the caller now owns.
  int release();
  // Whether a file held open may be renamed over and stay readable, its
  // storage freed only when the last holder closes it: so on Linux. On
  // Windows the old file's name can stay taken until it is closed.
  static bool outlivesItsName();

 private:
  RegularFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  int fd_ = -1;
  uint64_t size_ = 0;
};

// The names in one folder as the file system returns them, unsorted and not
// descending; "." and ".." are included unless skipDots. A missing folder
// gives an empty list.
std::vector<std::string> listFolder(const std::string& path, bool skipDots = false);

// The folder inside the game folder that the installer keeps for itself:
// the backup of what it changed. No path a package names may lead into it.
inline constexpr const char* kBackupFolderName = ".vhpatch-backup";

// A path named relative to a folder (by a package, an index file or the
// backup) in the one form in which it is joined to that folder and compared:
// backslashes as slashes, "." and empty segments dropped. None for a path
// that may not be written to: empty once normalised, absolute, with a drive
// letter or a ".." segment, whose first segment is the backup folder (in any
// letter case), or that Windows cannot hold or would take for something else:
// a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an
// extension, in any letter case), a ":" or a control character anywhere, a
// segment that ends in a dot or a space. The same rule holds on every platform, so that a package
// means the same files wherever it is installed.
std::optional<std::string> pathInFolder(std::string_view relative);

// True for a path that pathInFolder refuses.
bool escapesFolder(const std::string& relative);

}  // namespace vh
