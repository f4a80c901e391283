// A file system for tests: the local disk, with a hook on every new file's
// stream (to make writing fail at a chosen byte, or to act while a file is
// being written), files that stand in for others when they are read, and
// the largest single read and write it was asked for, which tell a reader
// that goes a block at a time from one that takes a file whole. Like
// Windows, and unlike Linux, it replaces, renames and removes no file that
// is open for reading. An installation puts files in place on a thread of
// its own while it reads others, so what it keeps of them is under a lock.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
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
  // The most bytes one read of an open file, or one write to a new file,
  // asked for; the test sets them back as it needs.
  size_t largestRead = 0;
  size_t largestWrite = 0;
  // Every rename of a new file over its target ("rename <target>", with
  // " now" when its folder is synced with it) and every folder sync
  // ("sync <folder>"), in order.
  std::vector<std::string> durable;
  // The platform has no sync of a whole file system (as on Windows).
  bool noFileSystemSync = false;
  // As on a platform or file system that cannot swap two files.
  bool noExchange = false;

  FileStatus status(const std::string& path) override { return local_.status(path); }
  bool isLink(const std::string& path) override { return local_.isLink(path); }
  std::string linkTarget(const std::string& path) override { return local_.linkTarget(path); }
  std::unique_ptr<ReadableFile> openRegular(const std::string& path) override {
    const auto instead = readInstead.find(path);
    auto file = instead != readInstead.end() ? instead->second() : local_.openRegular(path);
    if (!file) return nullptr;
    std::lock_guard lock(mutex_);
    return std::make_unique<Measured>(std::move(file), largestRead, open_[path], mutex_);
  }
  std::vector<std::string> list(const std::string& folder) override { return local_.list(folder); }
  std::unique_ptr<NewFile> create(const std::string& target) override {
    auto file = local_.create(target);
    if (!file) return nullptr;
    std::unique_ptr<Stream> stream = newFileStream ? newFileStream(file->stream()) : nullptr;
    return std::make_unique<Filtered>(std::move(file), std::move(stream), largestWrite);
  }
  bool replace(NewFile& file, FolderSync sync) override {
    auto* filtered = dynamic_cast<Filtered*>(&file);
    if (!filtered || isOpen(file.target()) || !local_.replace(*filtered->file, sync)) return false;
    note("rename " + file.target() + (sync == FolderSync::Now ? " now" : ""));
    return true;
  }
  bool rename(const std::string& from, const std::string& to) override {
    return !isOpen(from) && !isOpen(to) && local_.rename(from, to);
  }
  bool exchange(const std::string& one, const std::string& other) override {
    return !noExchange && !isOpen(one) && !isOpen(other) && local_.exchange(one, other);
  }
  void syncFolder(const std::string& folder) override {
    local_.syncFolder(folder);
    note("sync " + folder);
  }
  bool syncFileSystem(const std::string& folder) override {
    if (noFileSystemSync || !local_.syncFileSystem(folder)) return false;
    note("sync all " + folder);
    return true;
  }
  bool makeFolder(const std::string& path) override { return local_.makeFolder(path); }
  bool removeFolder(const std::string& path) override { return local_.removeFolder(path); }
  bool removeFile(const std::string& path) override { return !isOpen(path) && local_.removeFile(path); }

 private:
  void note(std::string line) {
    std::lock_guard lock(mutex_);
    durable.push_back(std::move(line));
  }
  bool isOpen(const std::string& path) {
    std::lock_guard lock(mutex_);
    const auto found = open_.find(path);
    return found != open_.end() && found->second > 0;
  }
  // Notes the largest read asked of a file open for reading, and counts it
  // open while it lives.
  struct Measured final : ReadableFile {
    // Made under the lock.
    Measured(std::unique_ptr<ReadableFile> f, size_t& l, int& o, std::mutex& m)
        : file(std::move(f)), largest(l), open(o), mutex(m) {
      ++open;
    }
    ~Measured() override {
      std::lock_guard lock(mutex);
      --open;
    }
    uint64_t size() const override { return file->size(); }
    std::optional<size_t> read(void* into, size_t count) override {
      largest = std::max(largest, count);
      return file->read(into, count);
    }
    bool readAt(uint64_t offset, void* into, size_t count) override {
      largest = std::max(largest, count);
      return file->readAt(offset, into, count);
    }
    std::unique_ptr<ReadableFile> file;
    size_t& largest;
    int& open;
    std::mutex& mutex;
  };
  // Notes the largest write, then hands it on to the hook's stream or the
  // file's own.
  struct MeasuredStream final : Stream {
    MeasuredStream(Stream*& to, size_t& l) : target(to), largest(l) {}
    int64_t position() const override { return target->position(); }
    int64_t size() const override { return target->size(); }
    void seek(int64_t position) override { target->seek(position); }
    void write(const void* source, size_t count) override {
      largest = std::max(largest, count);
      target->write(source, count);
    }
    size_t readSome(void* destination, size_t count) override { return target->read(destination, count); }
    Stream*& target;
    size_t& largest;
  };
  struct Filtered final : NewFile {
    Filtered(std::unique_ptr<NewFile> f, std::unique_ptr<Stream> s, size_t& largest)
        : file(std::move(f)), stream_(std::move(s)), to_(stream_ ? stream_.get() : &file->stream()),
          measured_(to_, largest) {}
    Stream& stream() override { return measured_; }
    const std::string& target() const override { return file->target(); }
    bool flushToSystem() override { return file->flushToSystem(); }
    std::unique_ptr<NewFile> file;
    std::unique_ptr<Stream> stream_;  // declared after the file: it goes before the file it writes to
    Stream* to_;
    MeasuredStream measured_;
  };
  LocalFileSystem local_;
  std::map<std::string, int> open_;  // files open for reading, by the path they were opened at
  std::mutex mutex_;                 // over open_ and durable
};

}  // namespace vh::test
