// The row passes for x86-64-v2 processors (SSE4.2, SSSE3, POPCNT): the build
// compiles this file with that instruction set.
#ifdef VH_CODEC_LEVELS
#include "xmg/row_pass_bodies.h"

namespace vh {
const RowPasses kV2RowPasses = kRowPassesHere;
}  // namespace vh
#endif
