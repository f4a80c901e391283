// Writes a file that matters to the user without ever leaving it half
// written: the bytes go to a new file in the same folder, which is flushed
// to disk and then renamed over the old one. Until commit() succeeds the old
// file is untouched; an object dropped without commit() removes its new file.
//
// A path that is a symbolic link is written where the link leads, as a write
// in place would be: the new file is made beside the link's target and
// renamed over it, so the link stays. A file that a write in place could not
// open (read-only to this user) is not replaced either, nor anything that is
// not a regular file (a pipe, a device, a folder).
//
// From the moment the new file is created until it is renamed or removed,
// the signals a user stops a run with (kStopSignals) are held back, so that
// none can end the process with the new file left behind; they come through
// as soon as it is gone. This is the only place they are held.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "common/stream.h"

namespace vh {

// New files are named after the file they replace, then this mark and six
// characters, so that one left by a killed process can be recognised.
inline constexpr const char* kNewFileMark = ".vhnew-";

// The file a write to `path` really changes: the end of its chain of
// symbolic links, or `path` itself.
std::string replacedFile(const std::string& path);

// Removes the new files that a killed writer left in `folder` beside the
// files named in `names` (names without folder). Only those are looked at;
// the folder is listed once and not descended. Returns how many went.
size_t removeLeftovers(const std::string& folder, const std::set<std::string>& names);
// The same for every new file in `folder`, whatever file it was to replace:
// for a folder only this program writes into.
size_t removeAllLeftovers(const std::string& folder);

// `bytes` as the whole new content of `path`, replaced as ReplacingFile
// does; false, with the old file as it was, when it cannot be written.
[[nodiscard]] bool replaceWholeFile(const std::string& path, const std::string& bytes);

// Tests stand a stream of their own between the writers and every new
// file, to make writing fail at a chosen byte; the program never sets one.
// The filter is given the new file's stream and returns the one writers get.
using NewFileFilter = std::function<std::unique_ptr<Stream>(Stream& file)>;
void setNewFileFilter(NewFileFilter filter);

// Makes the renames into these folders durable.
void syncFolders(const std::set<std::string>& folders);

class ReplacingFile {
 public:
  // Null when the new file cannot be created beside the replaced file, or
  // when that file exists and is no regular file or this user may not write
  // it.
  static std::unique_ptr<ReplacingFile> create(const std::string& path);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  Stream& stream() { return filtered_ ? *filtered_ : *stream_; }
  const std::string& path() const { return path_; }
  // Flushes, syncs and renames over the target. False (and the target left
  // as it was) when any step fails. The rename is made durable at once by
  // syncing its folder, unless `unsyncedFolders` is given: the folder is
  // added there, for the caller to sync once after many files
  // (syncFolders), the file being whole on disk either way.
  [[nodiscard]] bool commit(std::set<std::string>* unsyncedFolders = nullptr);

 private:
  ReplacingFile(std::string path, std::string temporary, std::unique_ptr<FileStream> stream);
  std::string path_;
  std::string temporary_;
  std::unique_ptr<FileStream> stream_;
  std::unique_ptr<Stream> filtered_;  // only under a test's filter
  bool committed_ = false;
  bool holdingSignals_ = true;  // until the new file is renamed or removed
};

}  // namespace vh
