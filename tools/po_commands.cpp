// vhtool import: translations made in PO tools back into the working tree's
// TRZ files, in the GBK the game reads.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/files.h"
#include "common/replacing_file.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/po_file.h"
#include "translation/gbk.h"
#include "translation/trz.h"

namespace vh::tool {

namespace {

constexpr const char* kUsage = "usage: vhtool import PO... --to WORKTREE\n";

void report(const std::string& text) { std::fprintf(stderr, "vhtool import: %s\n", text.c_str()); }

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string baseName(const std::string& path) {
  const std::string slashed = toSlashes(path);
  const size_t slash = slashed.rfind('/');
  return slash == std::string::npos ? slashed : slashed.substr(slash + 1);
}

// One PO file made into the TRZ text of its scene.
struct Converted {
  std::string scene;
  std::string trz;
  int entries = 0;
};

class PoImport {
 public:
  explicit PoImport(std::string path) : path_(std::move(path)) {}

  // False after reporting every fault of the file as FILE:LINE: text.
  bool convert(Converted& result) {
    std::vector<std::string> problems;
    const auto catalog = readPoFile(path_, problems);
    for (const std::string& p : problems) report(p);
    if (!catalog) return false;
    const std::string charset = lowerCase(poHeaderField(catalog->header, "Content-Type"));
    if (!charset.empty() && charset.find("charset=utf-8") == std::string::npos) {
      report(path_ + ": not a UTF-8 PO file (" + poHeaderField(catalog->header, "Content-Type") + ")");
      return false;
    }
    const std::string name = baseName(path_);
    result.scene = name.substr(0, name.rfind('.'));
    text_ = readWhole(path_);
    bool ok = true;
    for (const PoMessage& m : catalog->messages) {
      // As msgfmt does: only finished translations count.
      if (m.obsolete || m.fuzzy || m.str.empty()) continue;
      if (!entry(result, m)) ok = false;
    }
    return ok;
  }

 private:
  bool fail(const PoMessage& m, const std::string& text) {
    const size_t line = poMessageLine(text_, m.context);
    report(path_ + ":" + (line ? std::to_string(line) : m.context) + ": " + text);
    return false;
  }

  bool entry(Converted& result, const PoMessage& m) {
    const std::string& address = m.context;
    if (address.size() <= 6 || address.substr(0, address.size() - 6) != result.scene) {
      return fail(m, "the address \"" + address + "\" names no record of the scene " + result.scene);
    }
    const std::string word = m.extracted.substr(0, m.extracted.find_first_of(" \n"));
    tTransRecord kind;
    kind.setType(word);
    if (kind.typeId == kKindOther) return fail(m, "no kind word in the comment of " + address);
    const std::string value = withLineFeedsOf(m.id, m.str);
    GbkFault fault;
    const auto gbk = utf8ToGbk(value, &fault);
    if (!gbk) return fail(m, describeUtf8Character(value, fault.offset) + " has no GBK code");
    if (gbk->find('\r') != std::string::npos) return fail(m, "a carriage return cannot stand in a TRZ value");
    std::string escaped;
    for (char c : *gbk) escaped += c == '\n' ? std::string("<CR>") : std::string(1, c);
    result.trz += "id=" + address + "\r\ntype=" + word + "\r\nlength=" + std::to_string(gbk->size()) + "\r\nvalue=" +
                  escaped + "\r\n>>\r\n";
    ++result.entries;
    return true;
  }

  std::string path_;
  std::string text_;
};

// The previous file stays as NAME~ so that an import over hand-made
// entries can be undone; the builder packs only names ending in "trz".
bool install(const std::string& worktree, const Converted& converted) {
  const std::string trans = worktree + "/trans/";
  const std::string target = trans + translationFileName(trans, converted.scene);
  if (fileExists(target) && !replaceWholeFile(target + "~", readWhole(target))) {
    report("cannot write " + target + "~");
    return false;
  }
  if (!replaceWholeFile(target, converted.trz)) {
    report("cannot write " + target);
    return false;
  }
  std::printf("%s: %d entries\n", target.c_str(), converted.entries);
  return true;
}

}  // namespace

int importPo(const Args& args) {
  std::vector<std::string> files;
  std::string worktree;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--to" && i + 1 < args.size() && worktree.empty()) {
      worktree = args[++i];
    } else if (args[i].starts_with("--")) {
      files.clear();
      break;
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.empty() || worktree.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!folderExists(worktree)) {
    report(worktree + " is no folder");
    return 1;
  }
  // Every file is converted before any is written: a fault in one leaves
  // the working tree as it was.
  std::vector<Converted> converted(files.size());
  bool ok = true;
  for (size_t i = 0; i < files.size(); ++i) {
    if (!PoImport(files[i]).convert(converted[i])) ok = false;
  }
  if (!ok) return 1;
  std::error_code failed;
  std::filesystem::create_directories(worktree + "/trans", failed);
  for (const Converted& c : converted) {
    if (!install(worktree, c)) return 1;
  }
  return 0;
}

}  // namespace vh::tool
