// Writes a file that matters to the user without ever leaving it half
// written: the bytes go to a new file in the same folder, which is flushed
// to disk and then renamed over the old one. Until commit() succeeds the old
// file is untouched; an object dropped without commit() removes its new file.
#pragma once

#include <memory>
#include <string>

#include "common/stream.h"

namespace vh {

class ReplacingFile {
 public:
  // Null when the new file cannot be created beside `path`.
  static std::unique_ptr<ReplacingFile> create(const std::string& path);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  Stream& stream() { return *stream_; }
  const std::string& path() const { return path_; }
  // Flushes, syncs and renames over the target. False (and the target left
  // as it was) when any step fails.
  [[nodiscard]] bool commit();

 private:
  ReplacingFile(std::string path, std::string temporary, std::unique_ptr<FileStream> stream);
  std::string path_;
  std::string temporary_;
  std::unique_ptr<FileStream> stream_;
  bool committed_ = false;
};

}  // namespace vh
