// The local file system over POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <thread>

#include "common/bytes.h"
#include "common/files.h"
#include "common/local_file_system.h"
#include "common/stop_signals.h"
#include "common/stream.h"

namespace vh {

namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

// Renaming only needs the folder, so the file's own permission is asked the
// way a write in place would ask it.
bool writableInPlace(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// One hold for every new file that exists at a time: the first holds the
// signals back, the last lets them through. A thread's signal mask is its
// own, so a hold is taken and let go on the thread that made the file.
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

class LocalNewFile final : public NewFile {
 public:
  LocalNewFile(std::string target, std::string temporary, std::unique_ptr<FileStream> stream)
      : target_(std::move(target)), temporary_(std::move(temporary)), stream_(std::move(stream)) {}
  ~LocalNewFile() override {
    if (!replaced_) {
      stream_.reset();
      std::remove(temporary_.c_str());
    }
    if (holdingSignals_) releaseSignals();
  }
  LocalNewFile(const LocalNewFile&) = delete;
  LocalNewFile& operator=(const LocalNewFile&) = delete;

  Stream& stream() override { return *stream_; }
  const std::string& target() const override { return target_; }
  bool flushToSystem() override {
    try {
      stream_->flush();
    } catch (const StreamError&) {
      return false;
    }
    return true;
  }

  bool replace(FileSystem& files, FolderSync sync) {
    if (replaced_) return true;
    try {
      stream_->flush(sync != FolderSync::Settled);
      stream_->close();
    } catch (const StreamError&) {
      return false;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return false;
    replaced_ = true;
    // Renamed on another thread (an installation puts files in place on one
    // of its own), the file keeps its hold until it goes on its own thread.
    if (std::this_thread::get_id() == holder_) {
      holdingSignals_ = false;
      releaseSignals();
    }
    if (sync == FolderSync::Now) files.syncFolder(folderOf(target_));
    return true;
  }

 private:
  std::string target_;
  std::string temporary_;
  std::unique_ptr<FileStream> stream_;
  bool replaced_ = false;
  bool holdingSignals_ = true;  // until the new file is renamed or removed
  const std::thread::id holder_ = std::this_thread::get_id();
};

}  // namespace

FileStatus LocalFileSystem::status(const std::string& path) {
  struct stat info {};
  if (stat(toSlashes(path).c_str(), &info) != 0) return {};
  FileStatus status;
  status.kind = S_ISDIR(info.st_mode) ? FileKind::Folder : S_ISREG(info.st_mode) ? FileKind::File : FileKind::Other;
  status.stamp.size = static_cast<uint64_t>(info.st_size);
  status.stamp.modifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * kNsPerSecond + info.st_mtim.tv_nsec;
  status.stamp.changedNs = static_cast<int64_t>(info.st_ctim.tv_sec) * kNsPerSecond + info.st_ctim.tv_nsec;
  status.stamp.identity = static_cast<uint64_t>(info.st_ino);
  status.device = static_cast<uint64_t>(info.st_dev);
  return status;
}

bool LocalFileSystem::isLink(const std::string& path) {
  struct stat info {};
  return lstat(toSlashes(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string LocalFileSystem::linkTarget(const std::string& path) {
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

std::vector<std::string> LocalFileSystem::list(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(toSlashes(folder).c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

std::unique_ptr<NewFile> LocalFileSystem::create(const std::string& target) {
  const std::string path = linkTarget(target);
  struct stat old {};
  const bool exists = stat(path.c_str(), &old) == 0;
  if (exists && (!S_ISREG(old.st_mode) || !writableInPlace(path))) return nullptr;
  std::string pattern = path + kNewFileMark + "XXXXXX";
  holdSignals();
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
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
  // The descriptor mkstemp opened is the one written through: opening the
  // name again would cost a second look-up of it for every file written.
  auto stream = FileStream::adopt(fd, FileMode::Write);
  if (!stream) {
    std::remove(pattern.c_str());
    releaseSignals();
    return nullptr;
  }
  return std::make_unique<LocalNewFile>(path, pattern, std::move(stream));
}

bool LocalFileSystem::replace(NewFile& file, FolderSync sync) {
  auto* local = dynamic_cast<LocalNewFile*>(&file);
  return local && local->replace(*this, sync);
}

bool LocalFileSystem::rename(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

// Called by its number, not through the C library's wrapper, so that the
// program still starts on a system whose C library predates it; a kernel
// or file system without the step refuses it.
bool LocalFileSystem::exchange(const std::string& one, const std::string& other) {
#ifndef RENAME_EXCHANGE
  constexpr unsigned RENAME_EXCHANGE = 1u << 1;
#endif
  return syscall(SYS_renameat2, AT_FDCWD, one.c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE) == 0;
}

// The rename itself lives in the folder's entry, which needs its own sync.
void LocalFileSystem::syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  ::close(fd);
}

// syncfs reports a failed write back since Linux 5.8; before, it returns 0
// whatever happened, as sync does.
bool LocalFileSystem::syncFileSystem(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = syncfs(fd) == 0;
  ::close(fd);
  return synced;
}

bool LocalFileSystem::makeFolder(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

bool LocalFileSystem::removeFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool LocalFileSystem::removeFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

}  // namespace vh
