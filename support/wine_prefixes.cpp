#include "support/wine_prefixes.h"

#include <algorithm>
#include <optional>
#include <set>

#include "common/bytes.h"
#include "common/canonical_path.h"
#include "common/file_system.h"
#include "common/files.h"
#include "support/library_folders.h"

namespace vh {

namespace {

// Library lists and game files are a few KiB; anything far larger is not
// one, and is not read into memory.
constexpr int64_t kMaxListSize = 4 << 20;

std::optional<std::string> readSmallFile(FileSystem& files, const std::string& path) {
  Result<std::string> text = readWholeFile(files, path, kMaxListSize);
  if (!text) return std::nullopt;
  return std::move(text.value());
}

std::vector<std::string> sortedFolders(const std::string& parent) {
  std::vector<std::string> names = listFolder(parent, true);
  std::sort(names.begin(), names.end());
  std::vector<std::string> folders;
  for (const std::string& name : names) {
    if (folderExists(parent + "/" + name)) folders.push_back(parent + "/" + name);
  }
  return folders;
}

std::vector<std::string> sortedFiles(const std::string& parent, const std::string& ending) {
  std::vector<std::string> names = listFolder(parent, true);
  std::sort(names.begin(), names.end());
  std::vector<std::string> files;
  for (const std::string& name : names) {
    const bool ends = name.size() > ending.size() && lowerCase(name.substr(name.size() - ending.size())) == ending;
    if (ends && fileExists(parent + "/" + name)) files.push_back(parent + "/" + name);
  }
  return files;
}

// Where a folder really is, so that one reached through links counts once;
// "" when it does not exist.
std::string realFolder(const std::string& path) {
  if (!folderExists(path)) return "";
  return canonicalPath(path).value_or("");
}

class PrefixList {
 public:
  explicit PrefixList(const std::string& ownPrefix) {
    const std::string own = realFolder(ownPrefix);
    if (!own.empty()) seen_.insert(own);
  }

  void offer(const std::string& folder) {
    const std::string real = realFolder(folder);
    if (real.empty() || !fileExists(real + "/user.reg") || !seen_.insert(real).second) return;
    prefixes_.push_back(folder);
  }

  std::vector<std::string> take() { return std::move(prefixes_); }

 private:
  std::set<std::string> seen_;
  std::vector<std::string> prefixes_;
};

void addSteamPrefixes(FileSystem& files, const std::string& home, PrefixList& prefixes) {
  // ~/.steam/steam is usually a link to the other; each library is searched
  // once however many ways lead to it.
  std::vector<std::string> libraries;
  for (const std::string& steam : {home + "/.local/share/Steam", home + "/.steam/steam"}) {
    libraries.push_back(steam);
    if (const auto text = readSmallFile(files, steam + "/steamapps/libraryfolders.vdf")) {
      if (Result<KeyValueNode> file = parseKeyValues(*text)) {
        for (const std::string& library : libraryFolders(file.value())) libraries.push_back(library);
      }
    }
  }
  std::set<std::string> searched;
  for (const std::string& library : libraries) {
    const std::string real = realFolder(library);
    if (real.empty() || !searched.insert(real).second) continue;
    for (const std::string& game : sortedFolders(library + "/steamapps/compatdata")) prefixes.offer(game + "/pfx");
  }
}

void addLutrisPrefixes(FileSystem& files, const std::string& home, PrefixList& prefixes) {
  for (const std::string& game : sortedFolders(home + "/Games")) prefixes.offer(game);
  for (const std::string& file : sortedFiles(home + "/.config/lutris/games", ".yml")) {
    const auto text = readSmallFile(files, file);
    if (!text) continue;
    for (const std::string& line : split(*text, '\n')) {
      const std::string folder = lutrisPrefixLine(line, home);
      if (!folder.empty()) prefixes.offer(folder);
    }
  }
}

void addBottlesPrefixes(const std::string& home, PrefixList& prefixes) {
  for (const std::string& bottles :
       {home + "/.local/share/bottles/bottles", home + "/.var/app/com.usebottles.bottles/data/bottles/bottles"}) {
    for (const std::string& bottle : sortedFolders(bottles)) prefixes.offer(bottle);
  }
}

std::string trimBlanks(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::vector<std::string> otherWinePrefixes(FileSystem& files, const std::string& home, const std::string& ownPrefix) {
  if (home.empty()) return {};
  PrefixList prefixes(ownPrefix);
  addSteamPrefixes(files, home, prefixes);
  addLutrisPrefixes(files, home, prefixes);
  addBottlesPrefixes(home, prefixes);
  return prefixes.take();
}

std::string lutrisPrefixLine(const std::string& line, const std::string& home) {
  const std::string text = trimBlanks(line);
  if (text.rfind("prefix:", 0) != 0) return "";
  std::string folder = trimBlanks(text.substr(7));
  if (folder.size() >= 2 && (folder[0] == '\'' || folder[0] == '"') && folder.back() == folder[0]) {
    folder = folder.substr(1, folder.size() - 2);
  }
  if (folder == "~" || folder.rfind("~/", 0) == 0) folder = home + folder.substr(1);
  return folder;
}

std::string wineDriveFolder(const std::string& prefix, char letter) {
  const std::string link = prefix + "/dosdevices/" + static_cast<char>(lowerCase(std::string(1, letter))[0]) + ":";
  if (fileKind(link) != FileKind::Missing) return link;
  // A prefix copied without its links still has drive C's folder.
  if (lowerCase(std::string(1, letter)) == "c" && folderExists(prefix + "/drive_c")) return prefix + "/drive_c";
  return link;
}

}  // namespace vh
