// What the local file system does alike on every platform: a file opened
// for reading is the platform's RegularFile (regular_file_*.cpp), which
// already refuses what is not a regular file and reads by wide name on
// Windows.
#include "common/local_file_system.h"

#include <memory>
#include <utility>

#include "common/files.h"

namespace vh {

namespace {

class LocalReadableFile final : public ReadableFile {
 public:
  explicit LocalReadableFile(RegularFile file) : file_(std::move(file)) {}
  uint64_t size() const override { return file_.size(); }
  std::optional<size_t> read(void* into, size_t count) override { return file_.read(into, count); }
  bool readAt(uint64_t offset, void* into, size_t count) override { return file_.readAt(offset, into, count); }

 private:
  RegularFile file_;
};

}  // namespace

std::unique_ptr<ReadableFile> LocalFileSystem::openRegular(const std::string& path) {
  auto file = RegularFile::open(path);
  if (!file) return nullptr;
  return std::make_unique<LocalReadableFile>(std::move(*file));
}

}  // namespace vh
