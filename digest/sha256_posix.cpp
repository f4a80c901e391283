#include "digest/sha256.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "common/files.h"

namespace vh {

namespace {

class Digest {
 public:
  Digest() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
      throw std::runtime_error("SHA-256 is not available");
    }
  }
  void add(const void* data, size_t size) { EVP_DigestUpdate(context_.get(), data, size); }
  std::string hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context_.get(), digest, &size);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
      text += kDigits[digest[i] >> 4];
      text += kDigits[digest[i] & 15];
    }
    return text;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context_;
};

}  // namespace

struct Sha256::Context {
  Digest digest;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}
Sha256::~Sha256() = default;
void Sha256::add(std::string_view bytes) { context_->digest.add(bytes.data(), bytes.size()); }
std::string Sha256::hex() { return context_->digest.hex(); }

std::string sha256Hex(std::string_view bytes) {
  Digest digest;
  digest.add(bytes.data(), bytes.size());
  return digest.hex();
}

std::optional<std::string> sha256OfFile(const std::string& path) {
  Digest digest;
  const bool read = readFileBlocks(path, [&](std::string_view block) {
    digest.add(block.data(), block.size());
    return true;
  });
  if (!read) return std::nullopt;
  return digest.hex();
}

}  // namespace vh
