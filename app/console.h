// The terminal the program writes to, where the platforms differ: what the
// console must be told before the first line (on Windows: that lines are
// UTF-8 and may move the cursor), how wide it is, and whether it can draw
// the progress bars, which move the cursor up to redraw them.
// console_posix.cpp and console_win32.cpp.
#pragma once

#include <cstdio>
#include <optional>

namespace vh {

// Called once at start-up, before anything is printed. Nothing to do on
// Linux, whose terminals take the program's UTF-8 as it is.
void prepareConsole();

// The width in columns of the terminal `stream` writes to; nothing when it
// writes to no terminal or the terminal does not say.
[[nodiscard]] std::optional<size_t> terminalColumns(std::FILE* stream);

// True when `stream` writes to a terminal that follows the cursor
// movements of the progress bars.
bool drawsProgress(std::FILE* stream);

// Called when the installer's windows open. A console made for this
// program alone (it was started from the file manager, not a command line)
// would stand empty behind the windows for the whole installation, so it is
// let go; one shared with a shell stays. Nothing to do on Linux.
void releaseOwnConsole();

}  // namespace vh
