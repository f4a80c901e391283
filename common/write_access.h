// Whether a write that failed was refused to this user for want of a right
// only someone else can give. On Windows a game under Program Files takes no
// new file from a program that is not running as administrator, and the
// player is told so; on Linux a player who may not write the game folder
// knows whose it is, and nothing more is said.
// One implementation per platform (write_access_posix.cpp,
// write_access_win32.cpp).
#pragma once

#include <string>

namespace vh {

// True when the folder that holds `path` (the nearest one that exists, for
// a path whose folders a failed write was to make) refuses this user a new
// file. Always false on Linux.
[[nodiscard]] bool writeRefusedToUser(const std::string& path);

// What follows a message that `path` could not be written: a line break and
// how to go on when the write was refused to this user (writeRefusedToUser),
// nothing otherwise.
std::string refusedWriteAdvice(const std::string& path);

}  // namespace vh
