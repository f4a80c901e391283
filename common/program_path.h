// Where the running program's own file is, as UTF-8 with forward slashes:
// the folder it is started in holds patch.dat and the working tree; and the
// working folder itself. One implementation per platform (/proc/self/exe,
// getcwd, chdir; GetModuleFileNameW, GetCurrentDirectoryW,
// SetCurrentDirectoryW).
#pragma once

#include <string>

namespace vh {

// Empty when the system cannot say.
std::string programPath();
// The name under which the running program's own bytes are read: on Linux
// /proc/self/exe, which opens the file the program was started from
// whatever has replaced its name since; on Windows its path, whose file the
// system keeps from being written or replaced while the program runs.
std::string programFile();

// The working folder, UTF-8 with forward slashes; empty when the system
// cannot say.
std::string workingFolder();
// Makes `folder` (UTF-8) the working folder; on Windows by its wide name, so
// that a folder whose name is outside the system's code page is entered too.
[[nodiscard]] bool enterFolder(const std::string& folder);

}  // namespace vh
