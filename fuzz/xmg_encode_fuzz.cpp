// Arbitrary pixels through the XMG encoder, then back through the decoder:
// the first two bytes give the size, the rest are the pixels, repeated to
// fill the picture. What png2xmg and the package builder encode must decode
// to a picture of the same size whose mask-colour blocks stay mask colour.
#include <algorithm>

#include "common/stream.h"
#include "fuzz/fuzz_targets.h"
#include "xmg/xmg.h"

namespace vh::fuzz {

int xmgEncode(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int width = data[0] % 67 + 1;
  const int height = data[1] % 67 + 1;
  const uint8_t* pixels = data + 2;
  const size_t count = size - 2;
  PixelMap picture(width, height);
  size_t at = 0;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = picture.row(y);
    for (int x = 0; x < width * 3; ++x) row[x] = pixels[at++ % count];
  }

  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream encoded(buffer);
  tXMGEncoder().saveXMG(picture, encoded);
  encoded.seek(0);
  tXMGLoader loader;
  Result<PixelMap> decoded = loader.decode(encoded);
  if (!decoded) fail("an encoded picture does not decode");
  const PixelMap& back = decoded.value();
  if (back.width() != width || back.height() != height) fail("an encoded picture changes size");
  // A 2x2 block wholly of the mask colour is stored as such and comes back
  // exactly; every other pixel may shift by the colour conversion.
  for (int y = 0; y + 1 < height; y += 2) {
    for (int x = 0; x + 1 < width; x += 2) {
      bool allMask = true;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const uint8_t* p = picture.row(y + dy) + (x + dx) * 3;
          allMask = allMask && tXMGEncoder::isMask(p[0], p[1], p[2]);
        }
      }
      if (!allMask) continue;
      for (int dy = 0; dy < 2; ++dy) {
        const uint8_t* p = back.row(y + dy) + x * 3;
        if (!std::equal(p, p + 6, picture.row(y + dy) + x * 3)) fail("a mask block loses its colour");
      }
    }
  }
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::xmgEncode)
