// What every picture format here shares: the one error they raise, the size
// they refuse beyond, and the RGBA picture translators' files decode to.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "common/image_limits.h"

namespace vh {

// Raised with a message naming the format and the fault (and the file, where
// one was read).
class PictureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Pictures larger than this on either side are refused before any pixel
// memory is allocated.
inline constexpr int kMaxPictureSide = kMaxImageSide;

// Pixels as red, green, blue, alpha bytes, rows top to bottom.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width x height x 4
};

}  // namespace vh
