// BMP: the installer's title panel.
#pragma once

#include <string_view>

#include "common/pixel_map.h"

namespace vh {

// An uncompressed 24-bit BMP, bottom-up or top-down rows. Throws PictureError.
PixelMap decodeBmp(std::string_view bytes);

}  // namespace vh
