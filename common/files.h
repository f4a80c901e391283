// What the program needs of the file system beyond streams: a file's kind,
// size and time, and folder listings in the file system's own order.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
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

// True for a relative path that could leave the folder it is joined to:
// empty, absolute, with a drive letter, or with a ".." segment in either
// slash form. Paths that come from a package (archive paths of its scene
// list, extra files) pass this before they are joined to the game folder.
bool escapesFolder(const std::string& relative);

}  // namespace vh
