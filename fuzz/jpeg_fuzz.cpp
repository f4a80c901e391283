// Arbitrary bytes through the JPEG reader the installer's backdrop uses.
#include <string_view>

#include "fuzz/fuzz_targets.h"
#include "pictures/jpeg.h"
#include "pictures/picture.h"

namespace vh::fuzz {

int jpegPicture(const uint8_t* data, size_t size) {
  const Result<PixelMap> decoded = decodeJpeg(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!decoded) return 0;
  const PixelMap& image = decoded.value();
  volatile uint8_t last = image.height() > 0 && image.width() > 0 ? image.row(image.height() - 1)[0] : 0;
  (void)last;
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::jpegPicture)
