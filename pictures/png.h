// PNG, read and written through libpng: any colour type and depth comes in,
// 8-bit RGBA goes out.
#pragma once

#include <string>

#include "pictures/picture.h"

namespace vh {

Picture decodePng(const std::string& bytes);
std::string encodePng(const Picture& picture);

}  // namespace vh
