// The XMG codec as it was before its passes over whole rows: a block at a
// time, in exact fixed point, with tables for the decoder's colours. Kept
// here as the yardstick every level of the row passes is timed against
// (xmg_bench.cpp); it writes and draws the same bytes as the codec.
#pragma once

#include "common/pixel_map.h"
#include "common/stream.h"

namespace vh::before_rows {

// tXMGEncoder::saveXMG.
void saveXmg(const PixelMap& pixmap, Stream& stream);
// tXMGLoader::toPixmap for data without faults.
PixelMap toPixmap(Stream& stream);

}  // namespace vh::before_rows
