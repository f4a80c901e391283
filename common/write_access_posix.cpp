#include "common/write_access.h"

namespace vh {

bool writeRefusedToUser(const std::string&) { return false; }

}  // namespace vh
