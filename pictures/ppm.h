// Binary PPM (P6): any sample scale in, 255 out.
#pragma once

#include <string>

#include "pictures/picture.h"

namespace vh {

Picture decodePpm(const std::string& bytes);
std::string encodePpm(const Picture& picture);

}  // namespace vh
