// SHA-256 from Windows' own cryptography (bcrypt.dll). The algorithm's
// provider is opened once for the process and never closed: opening it is
// the costly part, and a hash object of it is made for every digest.
#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

#include <stdexcept>

#include "digest/sha256_engine.h"

namespace vh {

namespace {

BCRYPT_ALG_HANDLE sha256Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return BCRYPT_ALG_HANDLE{};
    return opened;
  }();
  return provider;
}

}  // namespace

struct Sha256Engine::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
  }
};

void Sha256Engine::prepare() { (void)sha256Provider(); }

Sha256Engine::Sha256Engine() : state_(std::make_unique<State>()) {
  const BCRYPT_ALG_HANDLE provider = sha256Provider();
  // No buffer of ours for the hash object: the system keeps it (Windows 7
  // and later).
  if (!provider || !BCRYPT_SUCCESS(BCryptCreateHash(provider, &state_->hash, nullptr, 0, nullptr, 0, 0))) {
    throw std::runtime_error("SHA-256 is not available");
  }
}

Sha256Engine::~Sha256Engine() = default;

void Sha256Engine::add(const void* data, size_t size) {
  // BCrypt counts bytes in 32 bits: larger inputs go in pieces.
  constexpr size_t kMostAtOnce = 1u << 30;
  auto* bytes = static_cast<const UCHAR*>(data);
  while (size > 0) {
    const size_t piece = size < kMostAtOnce ? size : kMostAtOnce;
    BCryptHashData(state_->hash, const_cast<UCHAR*>(bytes), static_cast<ULONG>(piece), 0);
    bytes += piece;
    size -= piece;
  }
}

std::array<uint8_t, kSha256Bytes> Sha256Engine::finish() {
  std::array<uint8_t, kSha256Bytes> digest{};
  BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  return digest;
}

}  // namespace vh
