#include <unistd.h>

#include <climits>

#include "common/bytes.h"
#include "common/program_path.h"

namespace vh {

std::string programPath() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  return toSlashes(std::string(buffer, static_cast<size_t>(n)));
}

}  // namespace vh
