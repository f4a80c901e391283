// The file system as the code that writes the game sees it: what stands at
// a path, a regular file read without ever waiting on anything else, a new
// file written beside the one it replaces and renamed over it, and folders.
//
// It is an interface, handed to whatever needs it: the program's main builds
// the platform's own (LocalFileSystem, common/local_file_system.h, one
// implementation per platform chosen by the build) and tests hand in one
// that fails where they want it to. Nothing in it is a type of one platform: a file's identity is
// an opaque number, and no descriptor or handle crosses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/fault.h"

namespace vh {

class Stream;

// Other is anything neither a regular file nor a folder: a pipe, a device, a
// socket. Reading one may block forever or never end, so no reader opens one.
enum class FileKind { Missing, File, Folder, Other };

// What the file system says of a file: enough to tell that nothing wrote it
// since, for a write changes its change time even when the modification
// time is set back afterwards.
struct FileStamp {
  uint64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;
  // Which file this is on its volume, whatever its name (an inode, a file
  // index): a file put in its place is another one.
  uint64_t identity = 0;
  bool operator==(const FileStamp&) const = default;
};

// What stands at a path, its links followed.
struct FileStatus {
  FileKind kind = FileKind::Missing;
  FileStamp stamp;  // zeros when missing
  // The file system it lies on, where the platform tells (0 elsewhere):
  // what one sync of a file system (FileSystem::syncFileSystem) covers.
  uint64_t device = 0;
};

// A regular file open for reading; the bytes of a file from outside the
// program are read through one of these only.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Its size when it was opened.
  virtual uint64_t size() const = 0;
  // Reads from where the last read stopped: the bytes read, 0 at the end,
  // nothing when the read failed.
  virtual std::optional<size_t> read(void* into, size_t count) = 0;
  // Exactly `count` bytes at `offset`, wherever the reads have got to;
  // false when the file holds fewer there or the read fails.
  [[nodiscard]] virtual bool readAt(uint64_t offset, void* into, size_t count) = 0;
};

// A file being written beside the one it is to replace (FileSystem::create).
// Until FileSystem::replace puts it in place the target is untouched; one
// dropped before that removes itself. It is dropped on the thread that made
// it, though another may write it and put it in place meanwhile.
class NewFile {
 public:
  virtual ~NewFile() = default;
  virtual Stream& stream() = 0;
  // The file it replaces: the end of the target's links.
  virtual const std::string& target() const = 0;
  // Hands what was written to the system, without waiting for the disk:
  // a sync of the whole file system (FileSystem::syncFileSystem) then puts
  // it on disk with everything else. False when a write fails.
  [[nodiscard]] virtual bool flushToSystem() = 0;
};

// Whether replacing a file syncs its folder at once, or leaves that to the
// caller (FileSystem::syncFolder), who renames many files into one folder.
// Settled: a sync of the whole file system came after the file was handed
// over (NewFile::flushToSystem), so it is renamed with no sync of its own,
// the rename's left to the caller as with Later.
enum class FolderSync { Now, Later, Settled };

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual FileStatus status(const std::string& path) = 0;
  // True when `path` itself is a symbolic link (or the platform's like).
  virtual bool isLink(const std::string& path) = 0;
  // The file a write to `path` really changes: the end of its chain of
  // links, or `path` itself.
  virtual std::string linkTarget(const std::string& path) = 0;
  // A regular file (after its links), open for reading. Whatever else
  // stands at the path is refused before a byte is read, and the open itself
  // never waits: a pipe without a writer would hold it forever. A read that
  // a signal interrupts fails rather than carrying on. Null when the path is
  // missing, cannot be opened or is no regular file.
  virtual std::unique_ptr<ReadableFile> openRegular(const std::string& path) = 0;
  // The names in a folder as the file system gives them, unsorted, without
  // "." and ".."; empty for a missing folder.
  virtual std::vector<std::string> list(const std::string& folder) = 0;

  // A new file beside `target` (beside the end of its links), with the
  // permissions of the file it replaces. Null when it cannot be made there,
  // or when the target exists and is no regular file or this user may not
  // write it (as a write in place would find).
  virtual std::unique_ptr<NewFile> create(const std::string& target) = 0;
  // Flushes `file` to the disk and renames it over its target; false, with
  // the target as it was, when any step fails. With FolderSync::Now the
  // rename is made durable at once.
  [[nodiscard]] virtual bool replace(NewFile& file, FolderSync sync) = 0;
  [[nodiscard]] virtual bool rename(const std::string& from, const std::string& to) = 0;
  // Swaps the files the two names lead to, in one step that a crash cannot
  // split: each name then leads to the other's file. False, with both as
  // they were, when either is missing, the step fails, or the platform has
  // no such step (Windows).
  [[nodiscard]] virtual bool exchange(const std::string& one, const std::string& other) = 0;
  // Makes the renames into `folder` durable.
  virtual void syncFolder(const std::string& folder) = 0;
  // Puts on disk everything written to the file system that holds
  // `folder`, by anyone, and waits for it: one sync for many new files
  // (Linux's syncfs). False where the platform has no such call, or it
  // failed: the caller then syncs its files one by one.
  [[nodiscard]] virtual bool syncFileSystem(const std::string& folder) = 0;
  // False when it could not be made, also when something is there already.
  [[nodiscard]] virtual bool makeFolder(const std::string& path) = 0;
  // An empty folder only.
  [[nodiscard]] virtual bool removeFolder(const std::string& path) = 0;
  [[nodiscard]] virtual bool removeFile(const std::string& path) = 0;
};

// The stamp of the regular file at `path`; none when it is not there or is
// no regular file.
std::optional<FileStamp> stampOf(FileSystem& files, const std::string& path);

// The folder part of a path with slashes: "." without one, "/" for a file
// at the root.
std::string folderOf(const std::string& path);

// Hands `visit` the bytes of the regular file at `path` a block at a time,
// in order, to its end; `visit` returns false to stop early. False when the
// file cannot be opened as a regular file or a read fails; true otherwise,
// also when `visit` stopped.
[[nodiscard]] bool readFileBlocks(FileSystem& files, const std::string& path,
                                  const std::function<bool(std::string_view)>& visit);

// The whole content of the regular file at `path`, read to its end: the one
// way a whole file is read. CannotOpen when it is missing, no regular file or
// a read fails; BadSize, before anything is read, when it holds more than
// `limit` bytes (or grows past them while it is read).
inline constexpr uint64_t kNoSizeLimit = UINT64_MAX;
Result<std::string> readWholeFile(FileSystem& files, const std::string& path, uint64_t limit = kNoSizeLimit);

// `bytes` as the whole new content of `path`, written beside it and renamed
// over it (the rename made durable as `sync` says); false, with the old file
// as it was, when it cannot be written.
[[nodiscard]] bool replaceWholeFile(FileSystem& files, const std::string& path, std::string_view bytes,
                                    FolderSync sync = FolderSync::Now);
// Likewise with what `write` writes to the new file's stream, for a content
// made as it is written; a StreamError it throws leaves the old file too.
[[nodiscard]] bool replaceWholeFileWith(FileSystem& files, const std::string& path,
                                        const std::function<void(Stream&)>& write, FolderSync sync = FolderSync::Now);

// New files are named after the file they replace, then this mark and six
// characters, so that one a killed process left can be recognised.
inline constexpr const char* kNewFileMark = ".vhnew-";

// Removes the new files that a killed writer left in `folder` beside the
// files named in `names` (names without folder). Only those are looked at;
// the folder is listed once and not descended. Returns how many went.
size_t removeLeftovers(FileSystem& files, const std::string& folder, const std::set<std::string>& names);
// The names (without folder) of the files removeLeftovers would remove,
// found without removing them.
std::vector<std::string> findLeftovers(FileSystem& files, const std::string& folder,
                                       const std::set<std::string>& names);
// The same for every new file in `folder`, whatever file it was to replace:
// for a folder only this program writes into.
size_t removeAllLeftovers(FileSystem& files, const std::string& folder);

}  // namespace vh
