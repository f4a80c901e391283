// The file system of the machine the program runs on: the FileSystem the
// programs' main functions hand down. One implementation per platform,
// chosen by the build (local_file_system_posix.cpp on Linux).
//
// A new file (create) is made beside the end of the target's links, so that
// a link stays a link, with the target's permissions (and, for root, its
// owner). From the moment it is created until it is renamed or removed, the
// signals a user stops a run with (kStopSignals) are held back, so that
// none can end the process with the new file left behind; they come through
// as soon as it is gone. This is the only place they are held.
#pragma once

#include "common/file_system.h"

namespace vh {

class LocalFileSystem final : public FileSystem {
 public:
  FileStatus status(const std::string& path) override;
  bool isLink(const std::string& path) override;
  std::string linkTarget(const std::string& path) override;
  std::unique_ptr<ReadableFile> openRegular(const std::string& path) override;
  std::vector<std::string> list(const std::string& folder) override;
  std::unique_ptr<NewFile> create(const std::string& target) override;
  [[nodiscard]] bool replace(NewFile& file, FolderSync sync) override;
  [[nodiscard]] bool rename(const std::string& from, const std::string& to) override;
  [[nodiscard]] bool exchange(const std::string& one, const std::string& other) override;
  void syncFolder(const std::string& folder) override;
  [[nodiscard]] bool syncFileSystem(const std::string& folder) override;
  [[nodiscard]] bool makeFolder(const std::string& path) override;
  [[nodiscard]] bool removeFolder(const std::string& path) override;
  [[nodiscard]] bool removeFile(const std::string& path) override;
};

}  // namespace vh
