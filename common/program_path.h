// Where the running program's own file is, as UTF-8 with forward slashes:
// the folder it is started in holds patch.dat and the working tree. One
// implementation per platform (/proc/self/exe; GetModuleFileNameW).
#pragma once

#include <string>

namespace vh {

// Empty when the system cannot say.
std::string programPath();

}  // namespace vh
