// The row passes for x86-64-v3 processors (AVX2, FMA, BMI2): the build
// compiles this file with that instruction set.
#ifdef VH_CODEC_LEVELS
#include "xmg/row_pass_bodies.h"

namespace vh {
const RowPasses kV3RowPasses = kRowPassesHere;
}  // namespace vh
#endif
