// Helpers shared by the tests: temporary folders, whole-file reads and
// writes, little-endian byte builders and running the real programs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vh {
class Stream;
}  // namespace vh

namespace vh::test {

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// For its life, the temporary folders (of this process and the programs it
// starts) are made in memory where the system has such a folder: tests that
// write many files through fsync would otherwise wait on the disk each time.
class TempDirsInMemory {
 public:
  TempDirsInMemory();
  ~TempDirsInMemory();
  TempDirsInMemory(const TempDirsInMemory&) = delete;
  TempDirsInMemory& operator=(const TempDirsInMemory&) = delete;

 private:
  bool had_ = false;
  std::string previous_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
void makeFolders(const std::string& path);

// Appends little-endian integers and raw bytes, for hand-built fixtures.
class Bytes {
 public:
  Bytes& u8(uint8_t v);
  Bytes& u16(uint16_t v);
  Bytes& u32(uint32_t v);
  Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  Bytes& str(const std::string& s);
  Bytes& cstr(const std::string& s) { return str(s).u8(0); }
  size_t size() const { return bytes_.size(); }
  const std::string& bytes() const { return bytes_; }
  operator const std::string&() const { return bytes_; }

 private:
  std::string bytes_;
};

// The bytes `write` puts into a fresh in-memory stream.
std::string written(const std::function<void(Stream&)>& write);
// What `object.save(stream)` writes: an archive, a record file, a header.
template <typename T>
std::string saved(T& object) {
  return written([&](Stream& out) { object.save(out); });
}

struct CommandResult {
  int status = -1;  // the exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs `command` through /bin/sh with `input` on standard input.
CommandResult runCommand(const std::string& command, const std::string& input = "");

// Put before a shell command whose program makes millions of allocations:
// a sanitizer build then records no stack per allocation, holds no freed
// memory back and skips the leak check at exit, which costs it most of its
// time there; every access is still checked. Other builds ignore it.
inline constexpr const char* kManyAllocations =
    "export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}malloc_context_size=0:quarantine_size_mb=0:detect_leaks=0\"; ";

// Paths of the build's own programs.
std::string binaryPath(const std::string& program);

// Relative paths that a package might name to reach outside the game
// folder, or where it may not write: climbing in either slash form,
// absolute, with a drive letter, empty, into the backup folder, and names
// Windows cannot hold or would take for a device.
extern const std::vector<std::string> kPathsOutsideTheFolder;

}  // namespace vh::test
