// Little-endian integers at a byte address: the one place the game's byte
// order is spelled out. Callers have checked that the bytes are there; the
// bounded reading of untrusted data is ByteReader's job.
#pragma once

#include <cstdint>
#include <string>

namespace vh {

inline uint16_t loadLE16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

inline uint32_t loadLE32(const uint8_t* at) {
  return static_cast<uint32_t>(loadLE16(at)) | (static_cast<uint32_t>(loadLE16(at + 2)) << 16);
}

inline uint64_t loadLE64(const uint8_t* at) {
  return static_cast<uint64_t>(loadLE32(at)) | (static_cast<uint64_t>(loadLE32(at + 4)) << 32);
}

inline void storeLE16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

inline void storeLE32(uint8_t* at, uint32_t value) {
  storeLE16(at, static_cast<uint16_t>(value));
  storeLE16(at + 2, static_cast<uint16_t>(value >> 16));
}

// Byte strings carry file text here (see bytes.h), so the builders of
// fixtures and sample files append to one.
inline void appendLE16(std::string& out, uint16_t value) {
  uint8_t b[2];
  storeLE16(b, value);
  out.append(reinterpret_cast<const char*>(b), 2);
}

inline void appendLE32(std::string& out, uint32_t value) {
  uint8_t b[4];
  storeLE32(b, value);
  out.append(reinterpret_cast<const char*>(b), 4);
}

}  // namespace vh
