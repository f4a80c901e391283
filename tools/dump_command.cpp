// vhtool dump: an archive's members and record tree as text, or, with
// --diff, the records that differ between two archives.
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_map>

#include "formats/xarc.h"
#include "formats/xrc.h"
#include "tools/commands.h"
#include "tools/record_diff.h"

namespace vh::tool {

namespace {

// Indentation shows the tree's shape only this deep; below it the depth is
// a number, so that the output stays in proportion to the records however
// deep the tree is nested.
constexpr size_t kIndentedLevels = 8;

// The member table's name column, in terminal columns: a name in Chinese
// lines up with one in Latin letters.
constexpr size_t kNameColumns = 24;

std::string depthMark(size_t depth) {
  if (depth <= kIndentedLevels) return std::string(depth * 2, ' ');
  return std::string(kIndentedLevels * 2, ' ') + "[depth " + std::to_string(depth) + "] ";
}

bool openArchive(const std::string& path, tXARC& archive) {
  try {
    const std::optional<Fault> fault = archive.read(path);
    if (!fault) return true;
    std::fprintf(stderr, "vhtool dump: %s (%s)\n", tXARC::openFailureText(*fault, path).c_str(), fault->detail.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vhtool dump: %s\n", e.what());
  }
  return false;
}

int dumpOne(const std::string& path) {
  tXARC archive;
  if (!openArchive(path, archive)) return 1;
  const GbkPrinter gbk;
  std::printf("%s: %zu members\n", path.c_str(), archive.files.size());
  for (const auto& file : archive.files) {
    std::printf("  %s %10d  flag %d\n", gbk.padded(gbk.show(file->name), kNameColumns).c_str(), file->length, file->flag);
  }
  const auto xrc = archive.getXRC();
  if (!xrc) return 0;
  const std::string prefix = addressPrefix(path);
  const auto records = xrc->getRecordArray();
  std::printf("records of %s: %zu\n", xrc->name.c_str(), records.size());
  // Parents come before their children in pre-order, so each depth is its
  // parent's plus one: no walk up the tree per record.
  std::unordered_map<const tRecord*, size_t> depths;
  for (size_t i = 0; i < records.size(); ++i) {
    const auto parent = records[i]->parent.lock();
    const size_t depth = parent ? depths[parent.get()] + 1 : 0;
    if (records[i]->data.childCount > 0) depths[records[i].get()] = depth;
    std::printf("%s%s  %s%s\n", prefix.c_str(), fourDigits(i).c_str(), depthMark(depth).c_str(),
                describeRecord(records[i]->data, gbk).c_str());
  }
  return 0;
}

int dumpDiff(const std::string& before, const std::string& after) {
  tXARC a, b;
  if (!openArchive(before, a) || !openArchive(after, b)) return 1;
  printArchiveDiff(a, before, b, after);
  return 0;
}

}  // namespace

int dump(const Args& args) {
  if (args.size() == 1 && args[0] != "--diff") return dumpOne(args[0]);
  if (args.size() == 3 && args[0] == "--diff") return dumpDiff(args[1], args[2]);
  std::fprintf(stderr, "usage: vhtool dump ARCHIVE.xarc | vhtool dump --diff BEFORE.xarc AFTER.xarc\n");
  return 2;
}

}  // namespace vh::tool
