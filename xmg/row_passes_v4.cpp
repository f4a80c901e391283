// The row passes for x86-64-v4 processors (AVX-512 F, BW, CD, DQ, VL): the
// build compiles this file with that instruction set.
#ifdef VH_CODEC_LEVELS
#include "xmg/row_pass_bodies.h"

namespace vh {
const RowPasses kV4RowPasses = kRowPassesHere;
}  // namespace vh
#endif
