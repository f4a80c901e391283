#include "app/embedded_files.h"

#include <map>

#include "common/stream.h"

namespace vh {

namespace {

std::map<std::string, std::string_view, std::less<>>& registry() {
  static std::map<std::string, std::string_view, std::less<>> files;
  return files;
}

}  // namespace

void registerEmbeddedFile(const std::string& name, std::string_view bytes) { registry()[name] = bytes; }

std::optional<std::string_view> findEmbeddedFile(std::string_view locator) {
  if (!locator.starts_with(kEmbeddedPrefix)) return std::nullopt;
  const auto found = registry().find(locator.substr(kEmbeddedPrefix.size()));
  if (found == registry().end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> readLocator(std::string_view locator) {
  if (locator.starts_with(kEmbeddedPrefix)) {
    const auto embedded = findEmbeddedFile(locator);
    if (!embedded) return std::nullopt;
    return std::string(*embedded);
  }
  try {
    auto file = FileStream::open(std::string(locator), FileMode::Read);
    if (!file) return std::nullopt;
    return file->readString(static_cast<size_t>(file->size()));
  } catch (const StreamError&) {
    return std::nullopt;
  }
}

}  // namespace vh
