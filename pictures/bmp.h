// BMP: the installer's title panel.
#pragma once

#include <string_view>

#include "common/fault.h"
#include "common/pixel_map.h"

namespace vh {

// An uncompressed 24-bit BMP, bottom-up or top-down rows; a fault naming the
// format for anything else.
Result<PixelMap> decodeBmp(std::string_view bytes);

}  // namespace vh
