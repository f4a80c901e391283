#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "common/local_file_system.h"
#include "common/report.h"
#include "common/stream.h"
#include "fuzz/fuzz_targets.h"

namespace vh::fuzz {

namespace {

void removeScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(scratchFolder(), ignored);
}

}  // namespace

const std::string& scratchFolder() {
  // Never destroyed: the exit handler that removes the folder runs after
  // every static object is gone.
  static const std::string& folder = *new std::string([] {
    const std::string path = "/tmp/vh-fuzz-" + std::to_string(getpid());
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    if (mkdir(path.c_str(), 0700) != 0) fail("cannot make the scratch folder");
    std::atexit(removeScratch);
    return path;
  }());
  return folder;
}

std::string writeScratch(const std::string& name, const void* data, size_t size) {
  const std::string path = scratchFolder() + "/" + name;
  auto out = FileStream::open(path, FileMode::Write);
  if (!out) fail("cannot write into the scratch folder");
  out->write(data, size);
  out->close();
  return path;
}

Reporter& quietReporter() {
  class Quiet final : public Reporter {
   public:
    void messageBox(const std::string&) override {}
    void debugLog(const std::string&) override {}
  };
  static Quiet quiet;
  return quiet;
}

FileSystem& localFileSystem() {
  static LocalFileSystem files;
  return files;
}

void fail(const char* what) {
  std::fprintf(stderr, "fuzz target fault: %s\n", what);
  std::abort();
}

}  // namespace vh::fuzz
