// Arbitrary bytes through the PNG reader the builder turns a translator's
// pictures into XMG with.
#include <string>

#include "fuzz/fuzz_targets.h"
#include "pictures/picture.h"
#include "pictures/png.h"

namespace vh::fuzz {

int pngPicture(const uint8_t* data, size_t size) {
  const Result<Picture> decoded = decodePng(std::string(reinterpret_cast<const char*>(data), size));
  if (!decoded) return 0;
  const Picture& picture = decoded.value();
  if (picture.rgba.size() != static_cast<size_t>(picture.width) * picture.height * 4) {
    fail("PNG pixels and size disagree");
  }
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::pngPicture)
