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

std::string programFile() { return "/proc/self/exe"; }

std::string workingFolder() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? toSlashes(buffer) : "";
}

bool enterFolder(const std::string& folder) { return !folder.empty() && chdir(folder.c_str()) == 0; }

}  // namespace vh
