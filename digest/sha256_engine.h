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
  // Readies the system's SHA-256 for the process without digesting
  // anything. The first digest otherwise pays for it: libcrypto reads its
  // configuration and starts its provider, some milliseconds; BCrypt opens
  // its provider. A thread that calls this early takes that cost off the
  // first digest's way. Safe to call from any thread, any number of times.
  static void prepare();
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
