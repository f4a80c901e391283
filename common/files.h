// What the program needs of the file system beyond streams: a file's kind,
// size and time, and folder listings in the file system's own order.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vh {

// Other is anything neither a regular file nor a folder: a pipe, a device, a
// socket. Reading one may block forever or never end, so no reader opens one.
enum class FileKind { Missing, File, Folder, Other };

FileKind fileKind(const std::string& path);
bool fileExists(const std::string& path);  // a regular file
bool folderExists(const std::string& path);
int64_t fileSize(const std::string& path);      // -1 when missing
std::time_t fileModTime(const std::string& path);  // 0 when missing

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
