#include "common/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <exception>

#include "common/bytes.h"
#include "common/files.h"
#include "common/stop_signals.h"

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

// Renaming only needs the folder, so the file's own permission is asked the
// way a write in place would ask it.
bool writableInPlace(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// One hold for every new file that exists at a time: the first holds the
// signals back, the last lets them through.
int signalHolds = 0;
sigset_t signalsBeforeHold;

void holdSignals() {
  if (signalHolds++ > 0) return;
  sigset_t stop;
  sigemptyset(&stop);
  for (const int signal : kStopSignals) sigaddset(&stop, signal);
  pthread_sigmask(SIG_BLOCK, &stop, &signalsBeforeHold);
}

void releaseSignals() {
  if (--signalHolds > 0) return;
  pthread_sigmask(SIG_SETMASK, &signalsBeforeHold, nullptr);
}

NewFileFilter& newFileFilter() {
  static NewFileFilter filter;
  return filter;
}

}  // namespace

void setNewFileFilter(NewFileFilter filter) { newFileFilter() = std::move(filter); }

std::string replacedFile(const std::string& path) {
  // The kernel's own limit on links followed in one lookup; a longer chain
  // is a loop.
  constexpr int kMaxLinks = 40;
  std::string at = toSlashes(path);
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    struct stat info {};
    if (lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
    char target[PATH_MAX];
    const ssize_t n = readlink(at.c_str(), target, sizeof target - 1);
    if (n <= 0) return at;
    const std::string next(target, static_cast<size_t>(n));
    at = next.front() == '/' ? next : folderOf(at) + "/" + next;
  }
  return at;
}

namespace {

size_t removeLeftoversOf(const std::string& folder, const std::set<std::string>* names) {
  const std::string mark = kNewFileMark;
  constexpr size_t kRandomPart = 6;  // mkstemp's XXXXXX
  size_t removed = 0;
  for (const std::string& entry : listFolder(folder, true)) {
    const size_t at = entry.rfind(mark);
    if (at == std::string::npos || entry.size() != at + mark.size() + kRandomPart) continue;
    if (names && !names->count(entry.substr(0, at))) continue;
    if (std::remove((folder + "/" + entry).c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace

size_t removeLeftovers(const std::string& folder, const std::set<std::string>& names) {
  return removeLeftoversOf(folder, &names);
}

size_t removeAllLeftovers(const std::string& folder) { return removeLeftoversOf(folder, nullptr); }

std::unique_ptr<ReplacingFile> ReplacingFile::create(const std::string& target) {
  const std::string path = replacedFile(target);
  struct stat old {};
  const bool exists = stat(path.c_str(), &old) == 0;
  if (exists && (!S_ISREG(old.st_mode) || !writableInPlace(path))) return nullptr;
  std::string pattern = path + kNewFileMark + "XXXXXX";
  holdSignals();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    releaseSignals();
    return nullptr;
  }
  // Keep the permissions of the file being replaced, so a patched archive is
  // as readable to the game as the original was; root keeps its owner too,
  // so that a player's files do not become root's.
  if (exists) {
    fchmod(fd, old.st_mode & 07777);
    if (geteuid() == 0 && (old.st_uid != 0 || old.st_gid != 0)) (void)!fchown(fd, old.st_uid, old.st_gid);
  } else {
    fchmod(fd, 0644);
  }
  ::close(fd);
  auto stream = FileStream::open(pattern, FileMode::Write);
  if (!stream) {
    std::remove(pattern.c_str());
    releaseSignals();
    return nullptr;
  }
  return std::unique_ptr<ReplacingFile>(new ReplacingFile(path, pattern, std::move(stream)));
}

ReplacingFile::ReplacingFile(std::string path, std::string temporary, std::unique_ptr<FileStream> stream)
    : path_(std::move(path)), temporary_(std::move(temporary)), stream_(std::move(stream)) {
  if (newFileFilter()) filtered_ = newFileFilter()(*stream_);
}

ReplacingFile::~ReplacingFile() {
  if (!committed_) {
    filtered_.reset();
    stream_.reset();
    std::remove(temporary_.c_str());
  }
  if (holdingSignals_) releaseSignals();
}

void syncFolders(const std::set<std::string>& folders) {
  for (const std::string& folder : folders) syncFolder(folder);
}

bool ReplacingFile::commit(std::set<std::string>* unsyncedFolders) {
  if (committed_) return true;
  try {
    stream_->flush(true);
    stream_->close();
  } catch (const StreamError&) {
    return false;
  }
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) return false;
  committed_ = true;
  holdingSignals_ = false;
  releaseSignals();
  if (unsyncedFolders) {
    unsyncedFolders->insert(folderOf(path_));
  } else {
    syncFolder(folderOf(path_));
  }
  return true;
}

bool replaceWholeFile(const std::string& path, const std::string& bytes) {
  auto file = ReplacingFile::create(path);
  if (!file) return false;
  try {
    file->stream().writeString(bytes);
  } catch (const std::exception&) {
    return false;  // the old file stays as it was
  }
  return file->commit();
}

}  // namespace vh
