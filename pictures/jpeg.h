// JPEG, read through libjpeg: the installer's backdrop map.
#pragma once

#include <string_view>

#include "common/pixel_map.h"

namespace vh {

// A baseline or progressive JPEG, decoded into RGB. Throws PictureError.
PixelMap decodeJpeg(std::string_view bytes);

}  // namespace vh
