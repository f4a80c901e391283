// The installer's two pictures: decoding the backdrop's JPEG map and the
// title panel's BMP into pixel maps, and fitting a picture into a panel.
#pragma once

#include <stdexcept>
#include <string_view>

#include "common/pixel_map.h"

namespace vh {

class PictureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Pictures larger than this on either side are refused before any pixel
// memory is allocated.
inline constexpr int kMaxPictureSide = 16384;

// A baseline or progressive JPEG, decoded by libjpeg into RGB.
PixelMap decodeJpeg(std::string_view bytes);
// An uncompressed 24-bit BMP, bottom-up or top-down rows.
PixelMap decodeBmp(std::string_view bytes);
// Picks the decoder by the locator's extension (".jpg", ".jpeg", ".bmp",
// any letter case) and reads the bytes through readLocator.
PixelMap loadPicture(std::string_view locator);

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

// Where a picture of pictureWidth x pictureHeight lands when scaled to fit
// an area of areaWidth x areaHeight with its aspect ratio kept and centred;
// the rest of the area is left to the panel's background. Empty for an
// empty picture or area.
Rect fitCentred(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);

}  // namespace vh
