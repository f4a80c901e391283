// The local file system over Win32 calls. Paths are UTF-8 inside the
// program and wide only here, where each is handed to Windows; either slash
// separates. Links and junctions are followed wherever a path is opened,
// because nothing here opens one with FILE_FLAG_OPEN_REPARSE_POINT but the
// question whether a path is one.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <mutex>
#include <random>

#include "common/canonical_path.h"
#include "common/console_stops_win32.h"
#include "common/files.h"
#include "common/local_file_system.h"
#include "common/stream.h"
#include "common/wide_text_win32.h"

namespace vh {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Windows counts file times in 100 ns ticks from 1601; stamps count
// nanoseconds from 1970, as on Linux.
constexpr int64_t kNsPerTick = 100;
constexpr int64_t kTicksBefore1970 = 116'444'736'000'000'000;
// What a new file takes of its target's attributes: never read-only (such
// a target is refused), a folder's or a link's.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Every rename is on the disk when it returns (see syncFolder).
constexpr DWORD kRenameFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

std::wstring wide(const std::string& path) { return wideText(path).value_or(std::wstring()); }

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() {
    if (valid()) CloseHandle(handle_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Opened for its attributes only; a folder opens too.
OwnedHandle openToLook(const std::wstring& path, DWORD flags = 0) {
  if (path.empty()) return OwnedHandle(INVALID_HANDLE_VALUE);
  return OwnedHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
}

int64_t nsOf(const LARGE_INTEGER& time) { return (time.QuadPart - kTicksBefore1970) * kNsPerTick; }

// Renaming only needs the folder, so the file's own permission is asked the
// way a write in place would ask it: a read-only file, or one this user may
// not write, is refused here as a write would refuse it.
bool writableInPlace(const std::wstring& path) {
  return OwnedHandle(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr))
      .valid();
}

// Six characters after the mark, as on every platform, so that a killed
// run's new files are recognised by name.
std::wstring randomPart() {
  static std::mutex guard;
  static std::mt19937_64 draw{std::random_device{}() ^ GetTickCount64() ^ GetCurrentProcessId()};
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::lock_guard lock(guard);
  std::wstring part;
  for (int k = 0; k < 6; ++k) part.push_back(static_cast<wchar_t>(kLetters[draw() % (sizeof kLetters - 1)]));
  return part;
}

class LocalNewFile final : public NewFile {
 public:
  // Holds the console's stops (holdStops, already taken) until it is
  // renamed or removed; `flushing` is a second handle of the file, kept
  // for FlushFileBuffers, which the C runtime's stream does not offer.
  LocalNewFile(std::string target, std::wstring wideTarget, std::wstring temporary, HANDLE flushing,
               std::unique_ptr<FileStream> stream)
      : target_(std::move(target)),
        wideTarget_(std::move(wideTarget)),
        temporary_(std::move(temporary)),
        flushing_(flushing),
        stream_(std::move(stream)) {}
  ~LocalNewFile() override {
    closeHandles();
    if (!replaced_) {
      DeleteFileW(temporary_.c_str());
      releaseStops();
    }
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

  bool replace() {
    if (replaced_) return true;
    try {
      stream_->flush();
    } catch (const StreamError&) {
      return false;
    }
    if (!FlushFileBuffers(flushing_)) return false;
    try {
      stream_->close();
    } catch (const StreamError&) {
      return false;
    }
    closeHandles();
    if (!MoveFileExW(temporary_.c_str(), wideTarget_.c_str(), kRenameFlags)) return false;
    replaced_ = true;
    releaseStops();
    return true;
  }

 private:
  void closeHandles() {
    stream_.reset();
    if (flushing_ != INVALID_HANDLE_VALUE) CloseHandle(flushing_);
    flushing_ = INVALID_HANDLE_VALUE;
  }

  std::string target_;
  std::wstring wideTarget_;
  std::wstring temporary_;
  HANDLE flushing_;
  std::unique_ptr<FileStream> stream_;
  bool replaced_ = false;
};

}  // namespace

FileStatus LocalFileSystem::status(const std::string& path) {
  const OwnedHandle file = openToLook(wide(path));
  if (!file.valid()) return {};
  FileStatus status;
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    status.kind = FileKind::Other;
    return status;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO times{};
  if (!GetFileInformationByHandle(file.get(), &info) ||
      !GetFileInformationByHandleEx(file.get(), FileBasicInfo, &times, sizeof times)) {
    status.kind = FileKind::Other;
    return status;
  }
  status.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::File;
  status.stamp.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  status.stamp.modifiedNs = nsOf(times.LastWriteTime);
  // The change time moves with every write and every change of attributes,
  // also when the write time is set back afterwards.
  status.stamp.changedNs = nsOf(times.ChangeTime);
  status.stamp.identity = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return status;
}

bool LocalFileSystem::isLink(const std::string& path) {
  const OwnedHandle file = openToLook(wide(path), FILE_FLAG_OPEN_REPARSE_POINT);
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!file.valid() || !GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag)) return false;
  // Other reparse points (a deduplicated file, a cloud placeholder) are the
  // file itself to whoever reads them.
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

std::string LocalFileSystem::linkTarget(const std::string& path) {
  if (!isLink(path)) return path;
  // The whole chain at once: Windows follows it as it opens the path. A
  // link that leads nowhere is its own end.
  return canonicalPath(path).value_or(path);
}

std::vector<std::string> LocalFileSystem::list(const std::string& folder) {
  std::vector<std::string> names;
  const std::wstring where = wide(folder);
  if (where.empty()) return names;
  WIN32_FIND_DATAW found{};
  const HANDLE search =
      FindFirstFileExW((where + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(utf8Text(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

std::unique_ptr<NewFile> LocalFileSystem::create(const std::string& target) {
  const std::string path = linkTarget(target);
  const std::wstring widePath = wide(path);
  if (widePath.empty()) return nullptr;
  const DWORD old = GetFileAttributesW(widePath.c_str());
  const bool exists = old != INVALID_FILE_ATTRIBUTES;
  if (exists && ((old & FILE_ATTRIBUTE_READONLY) || status(path).kind != FileKind::File || !writableInPlace(widePath))) {
    return nullptr;
  }
  const DWORD attributes = exists && (old & kKeptAttributes) ? old & kKeptAttributes : FILE_ATTRIBUTE_NORMAL;
  holdStops();
  // A name another file already has is drawn again; any other failure is
  // the folder's, and final.
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::wstring temporary = widePath + wide(kNewFileMark) + randomPart();
    const HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      CREATE_NEW, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      break;
    }
    HANDLE flushing = INVALID_HANDLE_VALUE;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &flushing, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      CloseHandle(handle);
      DeleteFileW(temporary.c_str());
      break;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) CloseHandle(handle);
    auto stream = fd < 0 ? nullptr : FileStream::adopt(fd, FileMode::Write);
    if (!stream) {
      CloseHandle(flushing);
      DeleteFileW(temporary.c_str());
      break;
    }
    return std::make_unique<LocalNewFile>(path, widePath, temporary, flushing, std::move(stream));
  }
  releaseStops();
  return nullptr;
}

bool LocalFileSystem::replace(NewFile& file, FolderSync) {
  auto* local = dynamic_cast<LocalNewFile*>(&file);
  return local && local->replace();
}

bool LocalFileSystem::rename(const std::string& from, const std::string& to) {
  const std::wstring source = wide(from), destination = wide(to);
  return !source.empty() && !destination.empty() && MoveFileExW(source.c_str(), destination.c_str(), kRenameFlags);
}

// MoveFileEx replaces one file at a time; ReplaceFile's backup name is no
// single step.
bool LocalFileSystem::exchange(const std::string&, const std::string&) { return false; }

// Windows cannot sync a folder, and need not here: every rename is made
// with MOVEFILE_WRITE_THROUGH, which returns only once the rename is on the
// disk, so each is durable at once and a later folder sync has nothing
// left to do.
void LocalFileSystem::syncFolder(const std::string&) {}

// No call syncs a whole volume short of administrator rights: each new
// file is flushed on its own (FlushFileBuffers).
bool LocalFileSystem::syncFileSystem(const std::string&) { return false; }

bool LocalFileSystem::makeFolder(const std::string& path) {
  const std::wstring folder = wide(path);
  return !folder.empty() && CreateDirectoryW(folder.c_str(), nullptr);
}

bool LocalFileSystem::removeFolder(const std::string& path) {
  const std::wstring folder = wide(path);
  return !folder.empty() && RemoveDirectoryW(folder.c_str());
}

bool LocalFileSystem::removeFile(const std::string& path) {
  const std::wstring file = wide(path);
  return !file.empty() && DeleteFileW(file.c_str());
}

}  // namespace vh
