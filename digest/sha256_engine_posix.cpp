// SHA-256 from libcrypto's digest interface.
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <stdexcept>

#include "digest/sha256_engine.h"

namespace vh {

namespace {

// The algorithm, fetched from the provider once for the process and kept:
// the first fetch starts libcrypto, and a digest begun with it skips the
// lookup that one begun by name makes each time. Null when the provider
// has none; a digest then asks by name and fails as it would have.
// libcrypto starts without reading the system's configuration file: a
// digest of a file's bytes needs none of it, and reading it cost about as
// much again as starting the provider.
const EVP_MD* sha256Algorithm() {
  static const EVP_MD* const algorithm = [] {
    OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
    return EVP_MD_fetch(nullptr, "SHA256", nullptr);
  }();
  return algorithm;
}

}  // namespace

struct Sha256Engine::State {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context{EVP_MD_CTX_new(), EVP_MD_CTX_free};
};

Sha256Engine::Sha256Engine() : state_(std::make_unique<State>()) {
  const EVP_MD* algorithm = sha256Algorithm();
  if (!state_->context ||
      EVP_DigestInit_ex(state_->context.get(), algorithm ? algorithm : EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 is not available");
  }
}

void Sha256Engine::prepare() { (void)sha256Algorithm(); }

Sha256Engine::~Sha256Engine() = default;

void Sha256Engine::add(const void* data, size_t size) { EVP_DigestUpdate(state_->context.get(), data, size); }

std::array<uint8_t, kSha256Bytes> Sha256Engine::finish() {
  std::array<uint8_t, kSha256Bytes> digest{};
  unsigned int size = 0;
  EVP_DigestFinal_ex(state_->context.get(), digest.data(), &size);
  return digest;
}

}  // namespace vh
