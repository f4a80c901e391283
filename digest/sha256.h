// SHA-256 digests as lower-case hex, for telling whether a game file is the
// one a backup was taken from or the one an installation wrote, and for the
// fingerprint of the game a package was made for. Each platform computes
// them with the system's own library (digest/sha256_engine.h): libcrypto on
// Linux, BCrypt on Windows.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vh {

class FileSystem;

// A digest fed piece by piece, for inputs that are never one string.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void add(std::string_view bytes);
  // The digest of everything added; the object is spent afterwards.
  std::string hex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

std::string sha256Hex(std::string_view bytes);
// The digest of a regular file's content, read in blocks; none when it
// cannot be read.
std::optional<std::string> sha256OfFile(FileSystem& files, const std::string& path);

}  // namespace vh
