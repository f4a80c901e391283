#include "common/files.h"

#include <algorithm>

#include "common/bytes.h"

namespace vh {

bool fileExists(const std::string& path) { return fileKind(path) == FileKind::File; }
bool folderExists(const std::string& path) { return fileKind(path) == FileKind::Folder; }

namespace {

// The names Windows keeps for devices whatever the extension: "con.txt"
// opens the console. The stem is what comes before the first dot, blanks
// at its end being ignored as Windows ignores them.
bool isDeviceName(std::string_view segment) {
  std::string_view stem = segment.substr(0, segment.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string name = lowerCase(stem);
  if (name == "con" || name == "prn" || name == "aux" || name == "nul") return true;
  return name.size() == 4 && (name.starts_with("com") || name.starts_with("lpt")) && name[3] >= '1' &&
         name[3] <= '9';
}

}  // namespace

std::optional<std::string> pathInFolder(std::string_view relative) {
  const std::string path = toSlashes(relative);
  // A colon is a drive letter or a stream name to Windows; a control
  // character no Windows name holds, and the backup's records are lines.
  const bool hostile =
      std::any_of(path.begin(), path.end(), [](char c) { return c == ':' || static_cast<unsigned char>(c) < 32; });
  if (path.empty() || path.front() == '/' || hostile) return std::nullopt;
  std::string normal;
  for (const std::string& segment : split(path, '/')) {
    if (segment.empty() || segment == ".") continue;
    if (segment == ".." || segment.back() == '.' || segment.back() == ' ' || isDeviceName(segment)) {
      return std::nullopt;
    }
    if (normal.empty() && equalsIgnoreCase(segment, kBackupFolderName)) return std::nullopt;
    if (!normal.empty()) normal += '/';
    normal += segment;
  }
  if (normal.empty()) return std::nullopt;
  return normal;
}

bool escapesFolder(const std::string& relative) { return !pathInFolder(relative); }

}  // namespace vh
