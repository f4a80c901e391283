#include "common/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "common/bytes.h"

namespace vh {

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The rename itself lives in the folder's entry, which needs its own sync.
void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  ::close(fd);
}

}  // namespace

std::unique_ptr<ReplacingFile> ReplacingFile::create(const std::string& target) {
  const std::string path = toSlashes(target);
  std::string pattern = path + ".vhnew-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return nullptr;
  // Keep the permissions of the file being replaced, so a patched archive is
  // as readable to the game as the original was.
  struct stat old {};
  if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
  else fchmod(fd, 0644);
  ::close(fd);
  auto stream = FileStream::open(pattern, FileMode::Write);
  if (!stream) {
    std::remove(pattern.c_str());
    return nullptr;
  }
  return std::unique_ptr<ReplacingFile>(new ReplacingFile(path, pattern, std::move(stream)));
}

ReplacingFile::ReplacingFile(std::string path, std::string temporary, std::unique_ptr<FileStream> stream)
    : path_(std::move(path)), temporary_(std::move(temporary)), stream_(std::move(stream)) {}

ReplacingFile::~ReplacingFile() {
  if (committed_) return;
  stream_.reset();
  std::remove(temporary_.c_str());
}

bool ReplacingFile::commit() {
  if (committed_) return true;
  try {
    stream_->flush(true);
    stream_->close();
  } catch (const StreamError&) {
    return false;
  }
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) return false;
  committed_ = true;
  syncFolder(folderOf(path_));
  return true;
}

}  // namespace vh
