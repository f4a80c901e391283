// libFuzzer target: arbitrary bytes through the XMG decoder, as vhtool
// xmg2png feeds it. Damage is reported as XmgError; anything else escaping,
// and every sanitizer report, is a fault.
#include <cstddef>
#include <cstdint>

#include "common/stream.h"
#include "xmg/xmg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Sizes the decoder accepts can still ask for a canvas of hundreds of
  // megabytes; filling one per input would slow the search to a crawl
  // without reaching new code, so such headers are passed over. Sizes out of
  // range still go through: the decoder must refuse them itself.
  {
    vh::MemoryStream peek(static_cast<const void*>(data), size);
    vh::tXMGHeader header;
    header.read(peek);
    const bool inRange = header.width >= 0 && header.height >= 0 && header.width <= vh::kXmgMaxSide &&
                         header.height <= vh::kXmgMaxSide;
    if (inRange && static_cast<int64_t>(header.width + 10) * (header.height + 10) > (1 << 18)) return 0;
  }
  vh::MemoryStream in(static_cast<const void*>(data), size);
  vh::tXMGLoader loader;
  try {
    const vh::PixelMap image = loader.toPixmap(in);
    // Touch every visible pixel so a wrong window shows up.
    volatile uint32_t sum = 0;
    for (int y = 0; y < image.height(); ++y) {
      const uint8_t* row = image.row(y);
      for (int x = 0; x < image.width() * 3; ++x) sum = sum + row[x];
    }
  } catch (const vh::XmgError&) {
  }
  return 0;
}
