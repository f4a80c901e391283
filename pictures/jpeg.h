// JPEG, read through libjpeg: the installer's backdrop map.
#pragma once

#include <string_view>

#include "common/fault.h"
#include "common/pixel_map.h"

namespace vh {

// A baseline or progressive JPEG, decoded into RGB; a fault saying what
// libjpeg found wrong otherwise.
Result<PixelMap> decodeJpeg(std::string_view bytes);

}  // namespace vh
