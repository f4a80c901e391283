// vhtool fingerprint: the game-version check's list for a working tree,
// taken from the game the translator works on. vhtool export writes the same
// list for the scenes it exports.
#include <cstdio>
#include <map>
#include <string>

#include "common/bytes.h"
#include "common/files.h"
#include "common/key_value.h"
#include "common/stream.h"
#include "formats/scene_list.h"
#include "formats/xarc.h"
#include "package/fingerprint.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/tool_services.h"

namespace vh::tool {

namespace {

constexpr const char* kUsage = "usage: vhtool fingerprint GAME WORKTREE\n";

void warn(const std::string& text) { std::fprintf(stderr, "vhtool fingerprint: %s\n", text.c_str()); }

}  // namespace

bool writeFingerprints(FileSystem& files, const std::string& game, const std::string& worktree,
                       const std::vector<std::pair<std::string, int>>& archives, const Warn& complain) {
  // Archives not fingerprinted now keep the lines an earlier run wrote; a
  // file that is no fingerprint list is replaced whole, since the package
  // reader would refuse a package carrying it.
  std::map<std::string, std::string> byPath;
  const std::string listPath = worktree + "/" + kFingerprintFile;
  if (auto old = FileStream::open(listPath, FileMode::Read); old && readFingerprints(*old)) {
    old->seek(0);
    std::string path;
    while (!old->atEnd()) {
      std::string key, value;
      splitKeyValue(old->readLine(), key, value);
      if (key == "path") path = value;
      if (key == "shape" && !path.empty()) byPath[path] = value;
    }
  }
  bool whole = true;
  for (const auto& [path, subId] : archives) {
    tXARC archive;
    std::string error;
    if (!openGameArchive(game + "/" + path, subId, archive, error)) {
      complain(path + ": " + error + "; no fingerprint for it");
      whole = false;
      continue;
    }
    byPath[path] = archiveFingerprint(archive);
  }
  auto out = files.create(listPath);
  bool written = false;
  if (out) {
    try {
      out->stream().writeString(fingerprintText(byPath));
      written = files.replace(*out, FolderSync::Now);
    } catch (const StreamError&) {
    }
  }
  if (!written) complain("cannot write " + listPath);
  return written && whole;
}

int fingerprint(const Args& args) {
  if (args.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string& game = args[0];
  const std::string& worktree = args[1];
  if (!fileExists(game + "/x.xarc")) {
    warn(game + " is no game folder: it has no x.xarc");
    return 1;
  }
  if (!folderExists(worktree + "/" + kSceneIndexFolder)) {
    warn(worktree + " is no working tree: it has no data/");
    return 1;
  }
  // The archives the package will rewrite, read from the scene list the
  // builder makes of the same index files.
  ToolServices tool;
  BufferStream list(std::make_shared<ByteBuffer>());
  if (!writeSceneList(list, tool.report, worktree + "/" + kSceneIndexFolder)) return 1;
  list.seek(0);
  std::vector<std::pair<std::string, int>> archives;
  int subId = 0;
  while (!list.atEnd()) {
    std::string key, value;
    splitKeyValue(list.readLine(), key, value);
    if (key == "sub") subId = strToInt(value);
    if (key == "path") archives.push_back({value, subId});
  }
  if (archives.empty()) {
    warn(worktree + " lists no scene");
    return 1;
  }
  return writeFingerprints(tool.files, game, worktree, archives, warn) ? 0 : 1;
}

}  // namespace vh::tool
