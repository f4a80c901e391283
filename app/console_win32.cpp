// The Windows console. Its output code page is the system's ANSI one unless
// told otherwise, which would print the program's UTF-8 as other characters;
// and the cursor movements the progress bars are redrawn with are followed
// only once virtual terminal processing is on (Windows 10 and later; Wine).
#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "app/console.h"

namespace vh {

namespace {

// The console behind a C stream; nothing when the stream is a file, a pipe
// or no stream of a console.
HANDLE consoleOf(std::FILE* stream) {
  const int fd = _fileno(stream);
  if (fd < 0) return nullptr;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return nullptr;
  return handle;
}

// The console is shared with the shell the program was started from, which
// gets its code page and modes back when the program ends.
struct ConsoleState {
  bool prepared = false;
  UINT outputCodePage = 0;  // 0: no console to give one back to
  HANDLE handles[2] = {};
  DWORD modes[2] = {};
};

ConsoleState& savedConsole() {
  static ConsoleState saved;
  return saved;
}

void restoreConsole() {
  const ConsoleState& saved = savedConsole();
  if (saved.outputCodePage) SetConsoleOutputCP(saved.outputCodePage);
  for (int i = 0; i < 2; ++i) {
    if (saved.handles[i]) SetConsoleMode(saved.handles[i], saved.modes[i]);
  }
}

}  // namespace

void prepareConsole() {
  ConsoleState& saved = savedConsole();
  if (saved.prepared) return;
  saved.prepared = true;
  saved.outputCodePage = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  std::FILE* const streams[2] = {stdout, stderr};
  for (int i = 0; i < 2; ++i) {
    const HANDLE console = consoleOf(streams[i]);
    DWORD mode = 0;
    if (!console || !GetConsoleMode(console, &mode)) continue;
    saved.handles[i] = console;
    saved.modes[i] = mode;
    SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
  std::atexit(restoreConsole);
}

std::optional<size_t> terminalColumns(std::FILE* stream) {
  const HANDLE console = consoleOf(stream);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!console || !GetConsoleScreenBufferInfo(console, &info)) return std::nullopt;
  // The visible window, not the buffer, which may be far wider.
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  if (columns <= 0) return std::nullopt;
  return static_cast<size_t>(columns);
}

bool drawsProgress(std::FILE* stream) {
  const HANDLE console = consoleOf(stream);
  DWORD mode = 0;
  return console && GetConsoleMode(console, &mode) && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void releaseOwnConsole() {
  // One process attached: the console was made for this program.
  DWORD attached[2];
  if (GetConsoleProcessList(attached, 2) == 1) {
    restoreConsole();
    FreeConsole();
  }
}

}  // namespace vh
