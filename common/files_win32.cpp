// The quick looks of common/files.h on Windows: the local file system's own,
// which opens every path by its wide name (MinGW's stat and opendir take the
// system's code page and miss a folder with a Chinese name).
#include "common/files.h"
#include "common/local_file_system.h"

namespace vh {

namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

}  // namespace

FileKind fileKind(const std::string& path) { return LocalFileSystem().status(path).kind; }

int64_t fileSize(const std::string& path) {
  const FileStatus status = LocalFileSystem().status(path);
  return status.kind == FileKind::Missing ? -1 : static_cast<int64_t>(status.stamp.size);
}

std::time_t fileModTime(const std::string& path) {
  const FileStatus status = LocalFileSystem().status(path);
  return static_cast<std::time_t>(status.stamp.modifiedNs / kNsPerSecond);
}

std::vector<std::string> listFolder(const std::string& path, bool skipDots) {
  std::vector<std::string> names;
  // Windows lists "." and ".." first in every folder but a drive's root;
  // they are given as a listing on Linux gives them.
  if (!skipDots && fileKind(path) == FileKind::Folder) names = {".", ".."};
  for (std::string& name : LocalFileSystem().list(path)) names.push_back(std::move(name));
  return names;
}

}  // namespace vh
