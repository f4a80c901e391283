#include "tests/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/byte_buffer.h"
#include "common/stream.h"

namespace vh::test {

std::string written(const std::function<void(Stream&)>& write) {
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  write(out);
  return buffer->toString();
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vhtest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

TempDirsInMemory::TempDirsInMemory() {
  const char* old = std::getenv("TMPDIR");
  had_ = old != nullptr;
  previous_ = old ? old : "";
  constexpr const char* kShared = "/dev/shm";
  if (access(kShared, W_OK | X_OK) == 0) setenv("TMPDIR", kShared, 1);
}

TempDirsInMemory::~TempDirsInMemory() {
  if (had_) {
    setenv("TMPDIR", previous_.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void makeFolders(const std::string& path) { std::filesystem::create_directories(path); }

Bytes& Bytes::u8(uint8_t v) {
  bytes_.push_back(static_cast<char>(v));
  return *this;
}

Bytes& Bytes::u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }

Bytes& Bytes::u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }

Bytes& Bytes::str(const std::string& s) {
  bytes_ += s;
  return *this;
}

CommandResult runCommand(const std::string& command, const std::string& input) {
  TempDir scratch;
  const std::string in = scratch / "in", out = scratch / "out", err = scratch / "err";
  writeFile(in, input);
  const std::string full = "(" + command + ") <'" + in + "' >'" + out + "' 2>'" + err + "'";
  const int raw = std::system(full.c_str());
  CommandResult result;
  if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  result.out = readFile(out);
  result.err = readFile(err);
  return result;
}

std::string binaryPath(const std::string& program) { return std::string(VH_BINARY_DIR) + "/" + program; }

const std::vector<std::string> kPathsOutsideTheFolder = {
    "../outside/victim.xarc", "..\\outside\\victim.xarc", "Forest/../../outside/victim.xarc", "docs\\..\\..\\x",
    "..",                     "/tmp/victim.xarc",         "\\windows\\x.xarc",                "C:\\boot.ini",
    "c:/x.xarc",              "",
    // Into the backup, in every spelling.
    "./.vhpatch-backup/0.pieces", ".\\.vhpatch-backup\\0.pieces", ".VHPATCH-Backup/manifest", "//.vhpatch-backup",
    ".vhpatch-backup",
    // What Windows cannot hold or would take for something else.
    "CON", "con.txt", "docs/Aux.cfg", "nul.tar.gz", "COM1", "lpt9.xarc", "PRN .txt", "a:b", "x/C:/y", "docs./x",
    "docs /x", "readme.txt.", "readme.txt ", "./", "//server/share/x", "docs/\tx",
};

}  // namespace vh::test
