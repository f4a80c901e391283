// The yardstick an installation is timed against: one process that rewrites
// every file it is given the way a careful writer must, into a new file
// beside it, flushed to the disk, then renamed over the old one. Nothing is
// parsed, so whatever the installer spends beyond this is its own work.
//
// Paths come on standard input, one a line; on success it prints how many
// files and bytes it wrote. Status 1 when a file could not be rewritten.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

// Large enough that the system calls cost nothing beside the copying.
constexpr size_t kChunk = 1 << 20;
constexpr const char* kNewSuffix = ".copy-peer-new";

bool fail(const std::string& what, const std::string& path) {
  std::fprintf(stderr, "vhcopypeer: %s %s: %s\n", what.c_str(), path.c_str(), std::strerror(errno));
  return false;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool rewrite(const std::string& path, std::vector<char>& buffer, uint64_t& bytes) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return fail("cannot read", path);
  const std::string fresh = path + kNewSuffix;
  const int out = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    return fail("cannot create", fresh);
  }
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ok = fail("cannot read", path);
      break;
    }
    if (got == 0) break;
    if (!writeAll(out, buffer.data(), static_cast<size_t>(got))) {
      ok = fail("cannot write", fresh);
      break;
    }
    bytes += static_cast<uint64_t>(got);
  }
  ::close(in);
  if (ok && ::fsync(out) != 0) ok = fail("cannot flush", fresh);
  if (::close(out) != 0 && ok) ok = fail("cannot close", fresh);
  if (ok && std::rename(fresh.c_str(), path.c_str()) != 0) ok = fail("cannot rename over", path);
  if (!ok) ::unlink(fresh.c_str());
  return ok;
}

}  // namespace

int main() {
  std::vector<char> buffer(kChunk);
  uint64_t files = 0, bytes = 0;
  std::string path;
  while (std::getline(std::cin, path)) {
    if (path.empty()) continue;
    if (!rewrite(path, buffer, bytes)) return 1;
    ++files;
  }
  std::printf("%llu files, %llu bytes\n", static_cast<unsigned long long>(files),
              static_cast<unsigned long long>(bytes));
  return 0;
}
