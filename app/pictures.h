// The installer's two pictures: finding the backdrop's JPEG map and the
// title panel's BMP by their locators, and fitting a picture into a panel.
#pragma once

#include <string_view>

#include "common/pixel_map.h"
#include "pictures/bmp.h"
#include "pictures/jpeg.h"
#include "pictures/picture.h"

namespace vh {

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
