// A file system for tests: the local disk, with a hook on every new file's
// stream (to make writing fail at a chosen byte, or to act while a file is
// being written) and files that stand in for others when they are read.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/file_system.h"
#include "common/local_file_system.h"
#include "common/stream.h"

namespace vh::test {

class FakeFileSystem final : public FileSystem {
 public:
  // Given each new file's own stream as it is made; what it returns is the
  // stream writers get (null: the file's own).
  std::function<std::unique_ptr<Stream>(Stream& file)> newFileStream;
  // Files opened for reading at these paths are these instead.
  std::map<std::string, std::function<std::unique_ptr<ReadableFile>()>> readInstead;

  FileStatus status(const std::string& path) override { return local_.status(path); }
  bool isLink(const std::string& path) override { return local_.isLink(path); }
  std::string linkTarget(const std::string& path) override { return local_.linkTarget(path); }
  std::unique_ptr<ReadableFile> openRegular(const std::string& path) override {
    const auto instead = readInstead.find(path);
    return instead != readInstead.end() ? instead->second() : local_.openRegular(path);
  }
  std::vector<std::string> list(const std::string& folder) override { return local_.list(folder); }
  std::unique_ptr<NewFile> create(const std::string& target) override {
    auto file = local_.create(target);
    if (!file) return nullptr;
    std::unique_ptr<Stream> stream = newFileStream ? newFileStream(file->stream()) : nullptr;
    return std::make_unique<Filtered>(std::move(file), std::move(stream));
  }
  bool replace(NewFile& file, FolderSync sync) override {
    auto* filtered = dynamic_cast<Filtered*>(&file);
    return filtered && local_.replace(*filtered->file, sync);
  }
  bool rename(const std::string& from, const std::string& to) override { return local_.rename(from, to); }
  void syncFolder(const std::string& folder) override { local_.syncFolder(folder); }
  bool makeFolder(const std::string& path) override { return local_.makeFolder(path); }
  bool removeFolder(const std::string& path) override { return local_.removeFolder(path); }
  bool removeFile(const std::string& path) override { return local_.removeFile(path); }

 private:
  struct Filtered final : NewFile {
    Filtered(std::unique_ptr<NewFile> f, std::unique_ptr<Stream> s) : file(std::move(f)), stream_(std::move(s)) {}
    Stream& stream() override { return stream_ ? *stream_ : file->stream(); }
    const std::string& target() const override { return file->target(); }
    std::unique_ptr<NewFile> file;
    std::unique_ptr<Stream> stream_;  // declared last: it goes before the file it writes to
  };
  LocalFileSystem local_;
};

}  // namespace vh::test
