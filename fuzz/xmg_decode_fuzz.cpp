// Arbitrary bytes through the XMG decoder, as vhtool xmg2png feeds it.
#include "common/stream.h"
#include "fuzz/fuzz_targets.h"
#include "xmg/xmg.h"

namespace vh::fuzz {

int xmgDecode(const uint8_t* data, size_t size) {
  MemoryStream in(static_cast<const void*>(data), size);
  tXMGLoader loader;
  Result<PixelMap> image = loader.decode(in);
  if (!image) return 0;
  const PixelMap& pixels = image.value();
  if (pixels.width() != loader.header->width || pixels.height() != loader.header->height) fail("XMG window size");
  // Touch every visible pixel so a wrong window shows up.
  volatile uint32_t sum = 0;
  for (int y = 0; y < pixels.height(); ++y) {
    const uint8_t* row = pixels.row(y);
    for (int x = 0; x < pixels.width() * 3; ++x) sum = sum + row[x];
  }
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::xmgDecode)
