// The row passes for every x86-64 processor: the build's own instruction
// set, and the only table in builds that compile no others.
#include "xmg/row_pass_bodies.h"

namespace vh {
const RowPasses kBaselineRowPasses = kRowPassesHere;
}  // namespace vh
