// A member's stream as the writer that has just written it knows it:
// where the stream starts in the file, its length and the CRC-32 of its own
// bytes, and the size and CRC-32 of what it inflates to. By member name.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vh {

struct KnownStream {
  uint64_t storedAt = 0;
  uint64_t storedSize = 0;
  uint32_t storedCrc = 0;
  uint64_t size = 0;
  uint32_t crc = 0;
};
using KnownStreams = std::map<std::string, KnownStream>;

}  // namespace vh
