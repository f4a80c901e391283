#include "digest/sha256.h"

#include "common/file_system.h"
#include "digest/sha256_engine.h"

namespace vh {

namespace {

std::string hexOf(const std::array<uint8_t, kSha256Bytes>& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * digest.size());
  for (const uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

}  // namespace

struct Sha256::Context {
  Sha256Engine engine;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}
Sha256::~Sha256() = default;
void Sha256::add(std::string_view bytes) { context_->engine.add(bytes.data(), bytes.size()); }
std::string Sha256::hex() { return hexOf(context_->engine.finish()); }

std::string sha256Hex(std::string_view bytes) {
  Sha256Engine engine;
  engine.add(bytes.data(), bytes.size());
  return hexOf(engine.finish());
}

std::optional<std::string> sha256OfFile(FileSystem& files, const std::string& path) {
  Sha256Engine engine;
  const bool read = readFileBlocks(files, path, [&](std::string_view block) {
    engine.add(block.data(), block.size());
    return true;
  });
  if (!read) return std::nullopt;
  return hexOf(engine.finish());
}

}  // namespace vh
