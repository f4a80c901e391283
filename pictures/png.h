// PNG, read and written through libpng: any colour type and depth comes in,
// 8-bit RGBA goes out.
#pragma once

#include <string>

#include "common/fault.h"
#include "pictures/picture.h"

namespace vh {

// A fault naming the format and what is wrong for anything but a PNG whose
// size is within kMaxPictureSide and its data.
Result<Picture> decodePng(const std::string& bytes);
// Throws PictureError when libpng cannot write the picture.
std::string encodePng(const Picture& picture);

}  // namespace vh
