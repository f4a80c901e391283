#include "patch/game_folder.h"

#include "common/bytes.h"
#include "support/registry_platform.h"

namespace vh {

namespace {

bool hasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

std::string normalizeGameRoot(const std::string& folder) {
  std::string root = toSlashes(folder);
  const bool isRoot = root == "/" || (root.size() == 3 && hasDriveLetter(root) && root[2] == '/');
  if (!isRoot && !root.empty() && root.back() == '/') root.pop_back();
  if (root.empty() || root.back() != '/') root += '/';
  return root;
}

std::string resolveDrivePath(const std::string& path) {
  if (!hasDriveLetter(path)) return path;
  const char drive = static_cast<char>(lowerCase(path.substr(0, 1))[0]);
  const std::string folder = registryPlatform().driveFolder(drive);
  return folder.empty() ? path : folder + path.substr(2);
}

}  // namespace vh
