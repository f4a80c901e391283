// vhtool import: translations made in PO tools back into the working tree's
// TRZ files, in the GBK the game reads. Each message names its scene and
// kind in its msgctxt, so the files may be laid out as a translation
// platform keeps them; a fault anywhere leaves the working tree as it was.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/files.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/po_import.h"
#include "tools/tool_services.h"

namespace vh::tool {

namespace {

constexpr const char* kUsage = "usage: vhtool import PO... --to WORKTREE [--game GAME]\n";

void report(const std::string& text) { std::fprintf(stderr, "vhtool import: %s\n", text.c_str()); }


// The previous file stays as NAME~ so that an import over hand-made
// entries can be undone; the builder packs only names ending in "trz".
bool install(FileSystem& files, const std::string& worktree, const std::string& scene, const SceneEntries& entries) {
  const std::string trans = worktree + "/trans/";
  const std::string target = trans + translationFileName(trans, scene);
  if (files.status(target).kind != FileKind::Missing) {
    // A file that cannot be read would leave an empty NAME~ behind and be
    // lost when it is replaced.
    const Result<std::string> previous = readWholeFile(files, target);
    if (!previous) {
      report("cannot read " + target);
      return false;
    }
    if (!replaceWholeFile(files, target + "~", previous.value())) {
      report("cannot write " + target + "~");
      return false;
    }
  }
  if (!replaceWholeFile(files, target, trzText(entries))) {
    report("cannot write " + target);
    return false;
  }
  std::printf("%s: %zu entries\n", target.c_str(), entries.size());
  return true;
}

}  // namespace

int importPo(const Args& args) {
  const auto line = parseCommandLine(args, {}, {"--to", "--game"});
  if (!line || line->positional.empty() || line->value("--to").empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::vector<std::string>& files = line->positional;
  const std::string worktree = line->value("--to");
  const std::string game = line->value("--game");
  if (!folderExists(worktree)) {
    report(worktree + " is no folder");
    return 1;
  }
  if (!game.empty() && !fileExists(game + "/x.xarc")) {
    report(game + " is no game folder: it has no x.xarc");
    return 1;
  }
  // Every file is read before any is written: a fault in one leaves the
  // working tree as it was.
  PoImporter importer(game, report);
  for (const std::string& file : files) importer.read(file);
  if (importer.problems()) {
    report("nothing written: " + std::to_string(importer.problems()) +
           (importer.problems() == 1 ? " problem" : " problems"));
    return 1;
  }
  std::error_code failed;
  std::filesystem::create_directories(worktree + "/trans", failed);
  ToolServices tool;
  for (const auto& [scene, entries] : importer.scenes()) {
    if (!install(tool.files, worktree, scene, entries)) return 1;
  }
  return 0;
}

}  // namespace vh::tool
