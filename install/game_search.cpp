#include "install/game_search.h"

#include <climits>
#include <cstdlib>

#include "common/files.h"
#include "common/report.h"
#include "install/game_folder.h"
#include "support/registry.h"
#include "support/registry_platform.h"
#include "support/wine_prefixes.h"

namespace vh {

namespace {

// The value with control characters and blanks trimmed from both ends; ""
// when the key or the value is missing.
std::string registryValue(const std::string& keyPath, const std::string& valueName) {
  const auto key = OpenRegKey(keyPath);
  const std::string value = key ? key->getstring(valueName) : "";
  size_t begin = 0, end = value.size();
  while (begin < end && static_cast<unsigned char>(value[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(value[end - 1]) <= 32) --end;
  return value.substr(begin, end - begin);
}

// The registry of another prefix answers OpenRegKey for as long as this
// lives; the one in use before comes back after it.
class BorrowedRegistry {
 public:
  explicit BorrowedRegistry(const std::string& prefix) : registry_(prefix), previous_(setRegistryPlatform(&registry_)) {}
  ~BorrowedRegistry() { setRegistryPlatform(previous_); }
  BorrowedRegistry(const BorrowedRegistry&) = delete;
  BorrowedRegistry& operator=(const BorrowedRegistry&) = delete;

 private:
  WineRegistry registry_;
  RegistryPlatform* previous_;
};

std::string realPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? resolved : path;
}

std::string registryOf(const std::string& prefix) {
  return prefix.empty() ? "the registry" : "the registry of " + prefix;
}

class Search {
 public:
  // Whether `value` from the registry of `prefix` names a game folder;
  // `folder` is that folder resolved.
  void consider(const std::string& value, const std::string& prefix, const std::string& folder) {
    if (value.empty()) return;
    const std::string root = normalizeGameRoot(folder);
    if (!fileExists(root + "x.xarc")) {
      reporter().debugLog("no game in " + root + ", the folder " + registryOf(prefix) + " names");
      if (result_.lostFolder.empty()) result_.lostFolder = value;
      return;
    }
    // Two prefixes may well name one folder, through Z: for instance.
    const std::string real = realPath(root);
    for (const FoundGame& game : result_.found) {
      if (game.shown == real) return;
    }
    reporter().debugLog("game found in " + root + ", named by " + registryOf(prefix));
    result_.found.push_back({root, prefix, real});
  }

  bool foundAny() const { return !result_.found.empty(); }

  GameSearch take() {
    if (!result_.found.empty()) result_.lostFolder.clear();
    return std::move(result_);
  }

 private:
  GameSearch result_;
};

}  // namespace

GameSearch searchGame(const std::string& keyPath, const std::string& valueName) {
  Search search;
  const std::string ownPrefix = registryPlatform().prefixFolder();
  const std::string own = registryValue(keyPath, valueName);
  search.consider(own, ownPrefix, resolveDrivePath(normalizeGameRoot(own)));
  if (search.foundAny()) return search.take();
  for (const std::string& prefix : otherWinePrefixes(homeFolder(), ownPrefix)) {
    std::string value;
    {
      BorrowedRegistry borrowed(prefix);
      value = registryValue(keyPath, valueName);
    }
    search.consider(value, prefix, resolveDrivePath(normalizeGameRoot(value), prefix));
  }
  return search.take();
}

}  // namespace vh
