#include "tests/test_support.h"

#include <filesystem>
#include <fstream>
#include <random>
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
  // A name no other folder has yet: create_directory refuses one that
  // exists, so two tests never share a folder.
  thread_local std::mt19937_64 names{std::random_device{}()};
  const std::filesystem::path parent = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const std::filesystem::path candidate = parent / ("vhtest-" + std::to_string(names() % 1000000000000ULL));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) path_ = candidate.generic_string();
  }
  if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
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
