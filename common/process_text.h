// What the process is given, as UTF-8 text: its command-line arguments and
// its environment. On Windows the narrow forms (argv, getenv) have already
// lost every character outside the system's code page, so the wide ones are
// read and converted (process_text_win32.cpp); on Linux they are passed
// through as they are (process_text_posix.cpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vh {

// The program's arguments, its own name first. Windows ignores argc and
// argv and reads the wide command line.
std::vector<std::string> utf8Arguments(int argc, const char* const* argv);

// The value of an environment variable (Windows: the process's own, read
// wide); nothing when it is not set.
[[nodiscard]] std::optional<std::string> environmentValue(const std::string& name);

}  // namespace vh
