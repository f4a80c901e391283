#include <sys/ioctl.h>
#include <unistd.h>

#include "app/console.h"

namespace vh {

void prepareConsole() {}

std::optional<size_t> terminalColumns(std::FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
  return size.ws_col;
}

bool drawsProgress(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void releaseOwnConsole() {}

}  // namespace vh
