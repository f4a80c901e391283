#include "install/game_folder.h"

#include "common/bytes.h"
#include "support/registry_platform.h"
#include "support/wine_prefixes.h"

namespace vh {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string withoutBlanks(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

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

std::string resolveDrivePath(const std::string& path, const RegistryPlatform& registry) {
  if (!hasDriveLetter(path)) return path;
  const char drive = static_cast<char>(lowerCase(path.substr(0, 1))[0]);
  const std::string folder = registry.driveFolder(drive);
  return folder.empty() ? path : folder + path.substr(2);
}

std::string resolveDrivePath(const std::string& path, const std::string& prefix) {
  if (!hasDriveLetter(path) || prefix.empty()) return path;
  return wineDriveFolder(prefix, path[0]) + path.substr(2);
}

std::string pastedFolder(const std::string& answer, const std::string& home) {
  std::string folder = withoutBlanks(answer);
  const bool quoted = folder.size() >= 2 && (folder[0] == '\'' || folder[0] == '"') && folder.back() == folder[0];
  if (quoted) {
    folder = folder.substr(1, folder.size() - 2);
  } else if (!folder.empty() && (folder[0] == '/' || folder[0] == '~')) {
    // A shell's drag and drop escapes blanks and the like one by one.
    std::string unescaped;
    for (size_t i = 0; i < folder.size(); ++i) {
      if (folder[i] == '\\' && i + 1 < folder.size()) ++i;
      unescaped += folder[i];
    }
    folder = unescaped;
  }
  if (!home.empty() && (folder == "~" || folder.rfind("~/", 0) == 0)) folder = home + folder.substr(1);
  const size_t slash = toSlashes(folder).rfind('/');
  if (slash != std::string::npos && lowerCase(folder.substr(slash + 1)) == "x.xarc") folder = folder.substr(0, slash + 1);
  return folder;
}

}  // namespace vh
