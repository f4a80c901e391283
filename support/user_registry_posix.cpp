// Off Windows the user's registry is the Wine prefix's text store.
#include "support/registry_platform.h"
#include "support/wine_prefixes.h"

namespace vh {

std::unique_ptr<RegistryPlatform> userRegistry(FileSystem& files, const std::string& winePrefix) {
  return std::make_unique<WineRegistry>(files, winePrefix);
}

std::vector<std::unique_ptr<RegistryPlatform>> otherUserRegistries(FileSystem& files, const std::string& home,
                                                                     const std::string& ownPrefix) {
  std::vector<std::unique_ptr<RegistryPlatform>> registries;
  for (const std::string& prefix : otherWinePrefixes(files, home, ownPrefix)) {
    registries.push_back(std::make_unique<WineRegistry>(files, prefix));
  }
  return registries;
}

}  // namespace vh
