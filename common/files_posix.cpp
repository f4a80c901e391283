// The quick looks of common/files.h on Linux: stat and the folder's own
// listing.
#include <dirent.h>
#include <sys/stat.h>

#include "common/bytes.h"
#include "common/files.h"

namespace vh {

FileKind fileKind(const std::string& path) {
  struct stat info {};
  if (stat(toSlashes(path).c_str(), &info) != 0) return FileKind::Missing;
  if (S_ISDIR(info.st_mode)) return FileKind::Folder;
  return S_ISREG(info.st_mode) ? FileKind::File : FileKind::Other;
}

int64_t fileSize(const std::string& path) {
  struct stat info {};
  if (stat(toSlashes(path).c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

std::time_t fileModTime(const std::string& path) {
  struct stat info {};
  if (stat(toSlashes(path).c_str(), &info) != 0) return 0;
  return info.st_mtime;
}

std::vector<std::string> listFolder(const std::string& path, bool skipDots) {
  std::vector<std::string> names;
  DIR* dir = opendir(toSlashes(path).c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (skipDots && (name == "." || name == "..")) continue;
    names.push_back(name);
  }
  closedir(dir);
  return names;
}

}  // namespace vh
