#include "install/game_search.h"

#include "common/canonical_path.h"
#include "common/file_system.h"
#include "common/report.h"
#include "install/game_folder.h"
#include "install/services.h"
#include "support/registry.h"
#include "support/registry_platform.h"

namespace vh {

namespace {

// The value with control characters and blanks trimmed from both ends; ""
// when the key or the value is missing.
std::string registryValue(RegistryPlatform& registry, const std::string& keyPath, const std::string& valueName) {
  const auto key = OpenRegKey(registry, keyPath);
  const std::string value = key ? key->getstring(valueName) : "";
  size_t begin = 0, end = value.size();
  while (begin < end && static_cast<unsigned char>(value[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(value[end - 1]) <= 32) --end;
  return value.substr(begin, end - begin);
}

std::string realPath(const std::string& path) { return canonicalPath(path).value_or(path); }

std::string registryOf(const std::string& prefix) {
  return prefix.empty() ? "the registry" : "the registry of " + prefix;
}

class Search {
 public:
  Search(Reporter& report, FileSystem& files) : report_(report), files_(files) {}

  // Whether `value` from the registry of `prefix` names a game folder;
  // `folder` is that folder resolved.
  void consider(const std::string& value, const std::string& prefix, const std::string& folder) {
    if (value.empty()) return;
    const std::string root = normalizeGameRoot(folder);
    if (files_.status(root + "x.xarc").kind != FileKind::File) {
      report_.debugLog("no game in " + root + ", the folder " + registryOf(prefix) + " names");
      if (result_.lostFolder.empty()) result_.lostFolder = value;
      return;
    }
    // Two prefixes may well name one folder, through Z: for instance.
    const std::string real = realPath(root);
    for (const FoundGame& game : result_.found) {
      if (game.shown == real) return;
    }
    report_.debugLog("game found in " + root + ", named by " + registryOf(prefix));
    result_.found.push_back({root, prefix, real});
  }

  bool foundAny() const { return !result_.found.empty(); }

  GameSearch take() {
    if (!result_.found.empty()) result_.lostFolder.clear();
    return std::move(result_);
  }

 private:
  Reporter& report_;
  FileSystem& files_;
  GameSearch result_;
};

}  // namespace

GameSearch searchGame(const Services& services, const std::string& keyPath, const std::string& valueName) {
  Search search(services.report, services.files);
  const std::string ownPrefix = services.registry.prefixFolder();
  const std::string own = registryValue(services.registry, keyPath, valueName);
  search.consider(own, ownPrefix, resolveDrivePath(normalizeGameRoot(own), services.registry));
  if (search.foundAny()) return search.take();
  for (const auto& registry : otherUserRegistries(services.files, services.home, ownPrefix)) {
    const std::string prefix = registry->prefixFolder();
    const std::string value = registryValue(*registry, keyPath, valueName);
    search.consider(value, prefix, resolveDrivePath(normalizeGameRoot(value), prefix));
  }
  return search.take();
}

}  // namespace vh
