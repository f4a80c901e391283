// vhtool import: translations made in PO tools back into the working tree's
// TRZ files, in the GBK the game reads. Each message names its scene and
// kind in its msgctxt, so the files may be laid out as a translation
// platform keeps them; a fault anywhere leaves the working tree as it was.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/bytes.h"
#include "common/files.h"
#include "common/replacing_file.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/po_file.h"
#include "tools/po_messages.h"
#include "translation/gbk.h"
#include "translation/embedded_text.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh::tool {

namespace {

constexpr const char* kUsage = "usage: vhtool import PO... --to WORKTREE [--game GAME]\n";

void report(const std::string& text) { std::fprintf(stderr, "vhtool import: %s\n", text.c_str()); }

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Where a record's texts go in a TRZ file: the title first, then the
// embedded texts from the highest prefix down, so that a rewritten text
// never moves one still to come.
int placeOrder(int32_t typeId) {
  if (isTitleKind(typeId)) return 0;
  return 1 + static_cast<int>(kText2Prefix - embeddedTextPrefix(typeId).value_or(kText2Prefix));
}

struct Entry {
  MessageKey key;
  std::string gbk;
  std::string place;  // FILE:LINE of its msgstr
};

// A scene's entries by record and kind, as the installer tells them apart.
using SceneEntries = std::map<std::tuple<int, int, int>, Entry>;

class Importer {
 public:
  explicit Importer(std::string game) : game_(std::move(game)) {}

  void read(const std::string& path) {
    std::vector<std::string> messages;
    const auto catalog = readPoFile(path, messages);
    for (const std::string& m : messages) report(m);
    if (!catalog) {
      problems_ += std::max<size_t>(messages.size(), 1);
      return;
    }
    const std::string charset = lowerCase(poHeaderField(catalog->header, "Content-Type"));
    if (!charset.empty() && charset.find("charset=utf-8") == std::string::npos) {
      problem(path + ": not a UTF-8 PO file (" + poHeaderField(catalog->header, "Content-Type") + ")");
      return;
    }
    for (const PoMessage& m : catalog->messages) {
      if (!m.obsolete) message(path, m);
    }
  }

  size_t problems() const { return problems_; }
  const std::map<std::string, SceneEntries>& scenes() const { return scenes_; }

 private:
  void problem(const std::string& text) {
    report(text);
    ++problems_;
  }

  void message(const std::string& path, const PoMessage& m) {
    const std::string at = messagePlace(path, m);
    std::string why;
    const auto key = messageKey(m, why);
    if (!key) return problem(at + ": " + why);
    SceneEntries& entries = scenes_[key->scene];
    // As msgfmt does: only finished translations count.
    if (m.fuzzy || m.str.empty()) return;
    const std::string named = messageContext(key->address, key->word);
    const std::string value = withLineFeedsOf(m.id, m.str);
    if (m.id.find('\n') == std::string::npos && value.find('\n') != std::string::npos) {
      return problem(at + ": a line break in the translation of " + named +
                     ", whose source text has none: the game would break the line there");
    }
    if (!game_.empty()) {
      const std::string* source = gameText(*key);
      if (!source) return problem(at + ": the game has no text " + named);
      const auto utf8 = gbkToUtf8(*source);
      if (!utf8 || *utf8 != m.id) {
        return problem(at + ": the msgid is not the game's text at " + named +
                       " (a PO file of another version of the game?); the game has \"" + (utf8 ? *utf8 : "") + "\"");
      }
    }
    GbkFault fault;
    const auto gbk = utf8ToGbk(value, &fault);
    if (!gbk) return problem(at + ": " + describeUtf8Character(value, fault.offset) + " has no GBK code");
    if (gbk->find('\r') != std::string::npos) return problem(at + ": a carriage return cannot stand in a TRZ value");
    if (gbk->size() > kMaxRecordText) {
      return problem(at + ": the translation's " + std::to_string(gbk->size()) +
                     " bytes in GBK do not fit its 16-bit length field (at most 65535)");
    }
    const auto [found, fresh] = entries.try_emplace({key->sub, key->record, key->typeId}, Entry{*key, *gbk, at});
    if (!fresh) {
      return problem(at + ": a second translation of " + named + " (the first at " + found->second.place +
                     "): only one can install");
    }
  }

  // The game's texts of a scene, read once, by record and kind.
  const std::string* gameText(const MessageKey& key) {
    if (!scenesFound_) {
      for (const GameScene& scene : findScenes(game_, [](const std::string&) {})) scenesOfGame_[scene.name] = scene;
      scenesFound_ = true;
    }
    const bool read = gameTexts_.count(key.scene) > 0;
    auto& texts = gameTexts_[key.scene];
    if (!read) {
      if (const auto scene = scenesOfGame_.find(key.scene); scene != scenesOfGame_.end()) {
        for (GameText& t : sceneTexts(game_, scene->second, [](const std::string&) {})) {
          tTransRecord entry;
          entry.setId(t.address);
          texts[{entry.subId, entry.recId, t.typeId}] = std::move(t.text);
        }
      }
    }
    const auto found = texts.find({key.sub, key.record, key.typeId});
    return found == texts.end() ? nullptr : &found->second;
  }

  std::string game_;
  size_t problems_ = 0;
  std::map<std::string, SceneEntries> scenes_;
  bool scenesFound_ = false;
  std::map<std::string, GameScene> scenesOfGame_;
  std::map<std::string, std::map<std::tuple<int, int, int>, std::string>> gameTexts_;
};

std::string trzText(const SceneEntries& entries) {
  std::vector<const Entry*> ordered;
  for (const auto& [key, entry] : entries) ordered.push_back(&entry);
  std::stable_sort(ordered.begin(), ordered.end(), [](const Entry* a, const Entry* b) {
    return std::tuple(a->key.sub, a->key.record, placeOrder(a->key.typeId)) <
           std::tuple(b->key.sub, b->key.record, placeOrder(b->key.typeId));
  });
  std::string trz;
  for (const Entry* e : ordered) {
    std::string escaped;
    for (char c : e->gbk) escaped += c == '\n' ? std::string("<CR>") : std::string(1, c);
    trz += "id=" + e->key.address + "\r\ntype=" + e->key.word + "\r\nlength=" + std::to_string(e->gbk.size()) +
           "\r\nvalue=" + escaped + "\r\n>>\r\n";
  }
  return trz;
}

// The previous file stays as NAME~ so that an import over hand-made
// entries can be undone; the builder packs only names ending in "trz".
bool install(const std::string& worktree, const std::string& scene, const SceneEntries& entries) {
  const std::string trans = worktree + "/trans/";
  const std::string target = trans + translationFileName(trans, scene);
  if (fileExists(target) && !replaceWholeFile(target + "~", readWhole(target))) {
    report("cannot write " + target + "~");
    return false;
  }
  if (!replaceWholeFile(target, trzText(entries))) {
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
  Importer importer(game);
  for (const std::string& file : files) importer.read(file);
  if (importer.problems()) {
    report("nothing written: " + std::to_string(importer.problems()) +
           (importer.problems() == 1 ? " problem" : " problems"));
    return 1;
  }
  std::error_code failed;
  std::filesystem::create_directories(worktree + "/trans", failed);
  for (const auto& [scene, entries] : importer.scenes()) {
    if (!install(worktree, scene, entries)) return 1;
  }
  return 0;
}

}  // namespace vh::tool
