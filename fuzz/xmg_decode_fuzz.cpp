// Arbitrary bytes through the XMG decoder, as vhtool xmg2png feeds it.
#include "common/stream.h"
#include "fuzz/fuzz_targets.h"
#include "xmg/xmg.h"

namespace vh::fuzz {

int xmgDecode(const uint8_t* data, size_t size) {
  // A canvas of hundreds of megabytes that the data can back is allowed, but
  // filling one per input would slow the search to a crawl without reaching
  // new code; such headers are passed over. Those the decoder must refuse
  // (out of range, or large over too little data) still go through.
  {
    MemoryStream peek(static_cast<const void*>(data), size);
    tXMGHeader header;
    header.read(peek);
    const bool inRange = header.width >= 0 && header.height >= 0 && header.width <= kXmgMaxSide &&
                         header.height <= kXmgMaxSide;
    const uint64_t canvas = inRange ? static_cast<uint64_t>(header.width + 10) * (header.height + 10) : 0;
    const uint64_t blocks = inRange ? (uint64_t(header.width) + 1) / 2 * ((uint64_t(header.height) + 1) / 2) : 0;
    const bool refused = canvas > kXmgShortDataPixels && static_cast<uint64_t>(peek.remaining()) < (blocks + 4094) / 4095 * 2;
    if (canvas > (1u << 18) && !refused) return 0;
  }
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
