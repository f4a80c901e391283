#include "common/files.h"

#include <dirent.h>
#include <sys/stat.h>

#include "common/bytes.h"

namespace vh {

FileKind fileKind(const std::string& path) {
  struct stat info {};
  if (stat(toSlashes(path).c_str(), &info) != 0) return FileKind::Missing;
  if (S_ISDIR(info.st_mode)) return FileKind::Folder;
  return S_ISREG(info.st_mode) ? FileKind::File : FileKind::Other;
}

bool fileExists(const std::string& path) { return fileKind(path) == FileKind::File; }
bool folderExists(const std::string& path) { return fileKind(path) == FileKind::Folder; }

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

bool escapesFolder(const std::string& relative) {
  const std::string path = toSlashes(relative);
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (path.empty() || path[0] == '/' || drive) return true;
  for (const std::string& segment : split(path, '/')) {
    if (segment == "..") return true;
  }
  return false;
}

}  // namespace vh
