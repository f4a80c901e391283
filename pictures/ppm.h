// Binary PPM (P6): any sample scale in, 255 out.
#pragma once

#include <string>

#include "common/fault.h"
#include "pictures/picture.h"

namespace vh {

// A fault naming the format and what is wrong for anything but a P6 file
// whose samples are all there.
Result<Picture> decodePpm(const std::string& bytes);
std::string encodePpm(const Picture& picture);

}  // namespace vh
