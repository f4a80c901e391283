// vhtool preview: what an installation of the working tree would change,
// with nothing written to the game. The tree is packed by the builder into a
// package of its own (in a private temporary folder), loaded by the package
// reader, and applied to archives in memory by the installer's own steps:
// the scene's translation table, the heroine's name, listed images.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "builder/patch_maker.h"
#include "common/bytes.h"
#include "common/files.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "install/patcher.h"
#include "package/patch.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/record_diff.h"
#include "translation/trz.h"
#include "tools/tool_services.h"

namespace vh::tool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage = "usage: vhtool preview GAME WORKTREE [SCENE]\n";

void fail(const std::string& text) { std::fprintf(stderr, "vhtool preview: %s\n", text.c_str()); }

// A folder of our own for the package, removed with everything in it.
class PrivateFolder {
 public:
  PrivateFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vhtool-preview-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~PrivateFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The builder reads the working tree from the current folder, as the
// program does beside its own file.
bool buildPackage(const Services& services, const std::string& worktree, const std::string& package) {
  std::error_code failed;
  const fs::path here = fs::current_path(failed);
  if (failed) return false;
  fs::current_path(worktree, failed);
  if (failed) {
    fail("cannot enter " + worktree + ": " + failed.message());
    return false;
  }
  const bool built = tPatchMaker(services).Create(package) == 1;
  fs::current_path(here, failed);
  return built && !failed;
}

// One archive as the installer would leave it, against the game's own.
bool previewArchive(Reporter& report, const std::string& game, tPatchScene& scene, tSubScene& sub) {
  const std::string path = game + "/" + sub.path;
  const int subId = strToInt(sub.name);
  tXARC before, after;
  std::string error;
  if (!openGameArchive(path, subId, before, error) || !openGameArchive(path, subId, after, error)) {
    fail(error);
    return false;
  }
  // The installer's own changes, made in memory; nothing is written.
  if (!applyToArchive(report, scene, sub, after)) return false;
  std::printf("archive %s\n", path.c_str());
  printArchiveDiff(before, path, after, path);
  return true;
}

}  // namespace

int preview(const Args& args) {
  if (args.size() < 2 || args.size() > 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::error_code failed;
  const std::string game = fs::absolute(args[0], failed).string();
  if (!fileExists(game + "/x.xarc")) {
    fail(args[0] + " is no game folder: it has no x.xarc");
    return 1;
  }
  PrivateFolder folder;
  if (folder.path().empty()) {
    fail("cannot make a temporary folder");
    return 1;
  }
  const std::string package = folder.path() + "/patch.dat";
  ToolServices tool;
  if (!buildPackage(tool.services(), args[1], package)) return 1;
  tPatch patch(tool.report);
  if (!patch.open(package) || !patch.readImages()) return 1;

  int status = 0;
  bool found = false;
  for (auto& [name, scene] : patch.scenes) {
    if (args.size() == 3 && name != args[2]) continue;
    found = true;
    for (auto& [subName, sub] : scene->subs) {
      if (!previewArchive(tool.report, game, *scene, *sub)) status = 1;
    }
  }
  if (!found && args.size() == 3) {
    fail("the working tree has no scene " + args[2]);
    return 1;
  }
  return status;
}

}  // namespace vh::tool
