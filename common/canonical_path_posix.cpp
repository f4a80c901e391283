#include <stdlib.h>

#include <memory>

#include "common/canonical_path.h"

namespace vh {

std::optional<std::string> canonicalPath(const std::string& path) {
  // Without a buffer of ours realpath allocates one as long as the path
  // needs, so no path is cut at PATH_MAX.
  const std::unique_ptr<char, decltype(&free)> resolved(::realpath(path.c_str(), nullptr), &free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

}  // namespace vh
