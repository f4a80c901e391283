// The SHA-256 of each platform's own library, fed bytes and asked for the
// digest once: libcrypto on Linux (sha256_engine_posix.cpp), BCrypt on
// Windows (sha256_engine_win32.cpp). Everything around it is sha256.cpp's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vh {

inline constexpr size_t kSha256Bytes = 32;

class Sha256Engine {
 public:
  // Throws std::runtime_error when the system offers no SHA-256.
  Sha256Engine();
  ~Sha256Engine();
  Sha256Engine(const Sha256Engine&) = delete;
  Sha256Engine& operator=(const Sha256Engine&) = delete;

  void add(const void* data, size_t size);
  // The digest of everything added; the engine is spent afterwards.
  std::array<uint8_t, kSha256Bytes> finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vh
