// Where a file or folder really is: an absolute path with "." and ".."
// gone and every link on the way followed, so that one place reached by two
// paths is seen to be one. realpath on Linux (canonical_path_posix.cpp);
// the final path of an open handle on Windows (canonical_path_win32.cpp),
// written with forward slashes like every path the program builds.
#pragma once

#include <optional>
#include <string>

namespace vh {

// Nothing when nothing exists at the path. Windows takes ".." away from the
// text before it looks (its own rule for every path), so there
// "missing/../game" is "game"; on Linux every folder on the way must exist.
[[nodiscard]] std::optional<std::string> canonicalPath(const std::string& path);

}  // namespace vh
