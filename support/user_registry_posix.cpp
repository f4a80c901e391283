// Off Windows the user's registry is the Wine prefix's text store.
#include "support/registry_platform.h"

namespace vh {

std::unique_ptr<RegistryPlatform> userRegistry(FileSystem& files, const std::string& winePrefix) {
  return std::make_unique<WineRegistry>(files, winePrefix);
}

}  // namespace vh
