#include <cstdlib>

#include "common/process_text.h"

namespace vh {

std::vector<std::string> utf8Arguments(int argc, const char* const* argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc && argv[i]; ++i) arguments.emplace_back(argv[i]);
  return arguments;
}

std::optional<std::string> environmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

}  // namespace vh
