// vhtool export: a working tree made from the game itself, so that a
// translator who has only the game can start. Every text a translation
// entry can address becomes an entry that changes nothing until it is
// translated: installed unchanged, the export leaves the game as it was.
// With --from, the translations of an earlier version's PO files (or TRZ
// tree and game) come along, each only onto the text it was made from.
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/files.h"
#include "common/stream.h"
#include "formats/scene_list.h"
#include "package/fingerprint.h"
#include "tools/carry_over.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/po_file.h"
#include "tools/po_messages.h"
#include "translation/gbk.h"
#include "translation/trz.h"
#include "tools/tool_services.h"

namespace vh::tool {

namespace {

constexpr const char* kUsage =
    "usage: vhtool export GAME OUT [--scene NAME]... [--po [--from OLD_PO_DIR | --from OLDTREE --old-game OLDGAME] "
    "| --pot] [--force]\n";

struct Options {
  std::string game, out, from, oldGame;
  std::vector<std::string> scenes;
  bool po = false;
  bool pot = false;  // templates only
  bool force = false;
};

bool parse(const Args& args, Options& options) {
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--scene" && i + 1 < args.size()) {
      options.scenes.push_back(args[++i]);
    } else if (args[i] == "--from" && i + 1 < args.size()) {
      options.from = args[++i];
    } else if (args[i] == "--old-game" && i + 1 < args.size()) {
      options.oldGame = args[++i];
    } else if (args[i] == "--po") {
      options.po = true;
    } else if (args[i] == "--pot") {
      options.pot = true;
    } else if (args[i] == "--force") {
      options.force = true;
    } else if (args[i].starts_with("--")) {
      return false;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) return false;
  if (!options.from.empty() && !options.po) return false;
  if (!options.oldGame.empty() && options.from.empty()) return false;
  if (options.pot && options.po) return false;
  options.game = positional[0];
  options.out = positional[1];
  return true;
}

void warn(const std::string& text) { std::fprintf(stderr, "vhtool export: %s\n", text.c_str()); }

// Why a text cannot stand as a TRZ value that gives back the same bytes,
// with the short reason the summary counts; nothing when it can. The reader
// drops carriage returns, ends a line at a 0 byte and turns every "<CR>"
// into a line feed.
struct ValueProblem {
  const char* warning;
  const char* reason;
};

std::optional<ValueProblem> trzValueProblem(const std::string& text) {
  if (text.find('\r') != std::string::npos) return ValueProblem{"it holds a carriage return", "with a carriage return"};
  if (text.find('\0') != std::string::npos) return ValueProblem{"it holds a 0 byte", "with a 0 byte"};
  if (text.find("<CR>") != std::string::npos) return ValueProblem{"it holds the text <CR>", "with the text <CR>"};
  if (!gbkToUtf8(text)) return ValueProblem{"it is not GBK", "whose text is not GBK"};
  return std::nullopt;
}

std::string trzValue(const std::string& text) {
  std::string value;
  for (char c : text) value += c == '\n' ? std::string("<CR>") : std::string(1, c);
  return value;
}

// The scene index the builder turns into the scene list: every sub-scene
// beside the scene's own archive.
std::string indexFile(const GameScene& scene) {
  std::string text = makeKeyValue("scene", scene.name) + "\r\n-sub-\r\n";
  for (size_t i = 1; i < scene.subs.size(); ++i) text += makeKeyValue("id", scene.subs[i].id) + "\r\n";
  return text;
}

tTransRecord addressed(const std::string& address) {
  tTransRecord entry;
  entry.setId(address);
  return entry;
}

// The translations of the previous version, by scene, each with the source
// text it was made from.
class PriorTranslations {
 public:
  // From the PO files under `folder`: their msgids are the source texts.
  bool readPoFiles(const std::string& folder) {
    const std::vector<std::string> files = poFilesUnder(folder);
    if (files.empty()) {
      if (folderExists(folder + "/trans")) {
        warn(folder + " is a working tree of TRZ files, which keep no source text: give --old-game with the game "
             "it was translated from (GAME itself when it is this version)");
      } else {
        warn(folder + " holds no PO files");
      }
      return false;
    }
    bool ok = true;
    std::set<std::tuple<std::string, int, int, int32_t>> seen;
    for (const std::string& file : files) {
      std::vector<std::string> problems;
      const auto catalog = readPoFile(file, problems);
      for (const std::string& p : problems) warn(p);
      if (!catalog) {
        ok = false;
        continue;
      }
      for (const PoMessage& m : catalog->messages) {
        if (m.obsolete) continue;
        std::string why;
        const auto key = messageKey(m, why);
        if (!key) {
          warn(messagePlace(file, m) + ": " + why + "; not carried over");
          continue;
        }
        if (!seen.insert({key->scene, key->sub, key->record, key->typeId}).second) {
          warn(messagePlace(file, m) + ": a second message for " + messageContext(key->address, key->word) +
               "; not carried over");
          continue;
        }
        PriorText text;
        text.sub = key->sub, text.record = key->record, text.typeId = key->typeId;
        text.source = m.id;
        text.translation = m.str;
        text.fuzzy = m.fuzzy;
        text.previous = m.previous;
        byScene_[key->scene].push_back(std::move(text));
      }
    }
    return ok;
  }

  // From a TRZ working tree and the game it was translated from: the old
  // game's texts are the source texts.
  bool readTree(const std::string& tree, const std::string& oldGame) {
    if (!fileExists(oldGame + "/x.xarc")) {
      warn(oldGame + " is no game folder: it has no x.xarc");
      return false;
    }
    for (const GameScene& scene : findScenes(oldGame, [](const std::string&) {})) {
      TreeTranslations translations;
      std::string file;
      if (!readTreeTranslations(tree, scene.name, translations, file)) {
        warn("cannot read " + file);
        return false;
      }
      size_t used = 0;
      for (const GameText& t : sceneTexts(oldGame, scene, [](const std::string&) {})) {
        const auto source = gbkToUtf8(t.text);
        if (!source) continue;
        const tTransRecord at = addressed(t.address);
        PriorText text;
        text.sub = at.subId, text.record = at.recId, text.typeId = t.typeId;
        text.source = *source;
        if (const auto found = translations.find({at.subId, at.recId, t.typeId}); found != translations.end()) {
          ++used;
          // An entry an export wrote and nobody changed translates nothing.
          if (found->second != t.text) {
            if (const auto utf8 = gbkToUtf8(found->second)) {
              text.translation = *utf8;
            } else {
              warn(file + ": the translation of " + t.address + " is not GBK; left untranslated");
            }
          }
        }
        byScene_[scene.name].push_back(std::move(text));
      }
      if (used < translations.size()) {
        warn(file + ": " + std::to_string(translations.size() - used) + " entries name no text of " + oldGame +
             "; not carried over");
      }
    }
    return true;
  }

  // What the scene's translations become on `texts`, in their order.
  std::vector<std::optional<CarriedTranslation>> carry(const std::string& scene, const std::vector<CarryText>& texts) {
    carried_.insert(scene);
    const auto found = byScene_.find(scene);
    static const std::vector<PriorText> kNone;
    return carryOver(found == byScene_.end() ? kNone : found->second, texts, counts_);
  }

  // The translations of scenes the export did not reach.
  size_t notCarried(const std::set<std::string>& exported) const {
    size_t n = 0;
    for (const auto& [scene, texts] : byScene_) {
      if (exported.count(scene) || carried_.count(scene)) continue;
      for (const PriorText& t : texts) n += !t.translation.empty();
    }
    return n;
  }

  const CarryCounts& counts() const { return counts_; }

 private:
  std::map<std::string, std::vector<PriorText>> byScene_;
  std::set<std::string> carried_;
  CarryCounts counts_;
};

class Exporter {
 public:
  explicit Exporter(const Options& options) : options_(options) {}

  int run() {
    if (!fileExists(options_.game + "/x.xarc")) {
      warn(options_.game + " is no game folder: it has no x.xarc");
      return 1;
    }
    std::vector<GameScene> scenes = chosenScenes();
    if (scenes.empty()) return 1;
    if (!mayWrite(scenes)) return 1;
    if (!options_.from.empty()) {
      prior_ = std::make_unique<PriorTranslations>();
      const bool read = options_.oldGame.empty() ? prior_->readPoFiles(options_.from)
                                                 : prior_->readTree(options_.from, options_.oldGame);
      if (!read) return 1;
    }
    for (const char* folder : {"data", options_.po || options_.pot ? "po" : "trans"}) {
      std::error_code failed;
      std::filesystem::create_directories(options_.out + "/" + folder, failed);
      if (failed) {
        warn(options_.out + "/" + folder + ": " + failed.message());
        return 1;
      }
    }
    int status = 0;
    std::vector<std::pair<std::string, int>> archives;
    std::set<std::string> names;
    for (const GameScene& scene : scenes) {
      if (!exportScene(scene)) status = 1;
      names.insert(scene.name);
      for (const GameSubScene& sub : scene.subs) archives.push_back({sub.path, sub.number});
    }
    // The package made from this tree checks that it goes into this game.
    if (!writeFingerprints(tool_.files, options_.game, options_.out, archives, warn)) status = 1;
    std::printf("exported %zu texts of %zu scenes; %s\n", exported_, scenes.size(), describeLeftOut(leftOut_).c_str());
    if (prior_) {
      const CarryCounts& c = prior_->counts();
      std::printf(
          "from %s: %zu translations kept, %zu moved with their text to another address, %zu fuzzy (their text "
          "changed), %zu dropped (their text is gone)",
          options_.from.c_str(), c.kept, c.moved, c.fuzzy, c.dropped);
      if (const size_t elsewhere = prior_->notCarried(names)) {
        std::printf(", %zu of scenes not exported now", elsewhere);
      }
      std::printf("\n");
    }
    return status;
  }

 private:
  std::vector<GameScene> chosenScenes() {
    std::vector<GameScene> all = findScenes(options_.game, warn);
    if (options_.scenes.empty()) {
      if (all.empty()) warn(options_.game + " has no scenes");
      return all;
    }
    std::vector<GameScene> chosen;
    for (const std::string& name : std::set<std::string>(options_.scenes.begin(), options_.scenes.end())) {
      bool found = false;
      for (const GameScene& scene : all) {
        if (scene.name == name) chosen.push_back(scene), found = true;
      }
      if (!found) {
        warn(options_.game + " has no scene " + name);
        return {};
      }
    }
    return chosen;
  }

  std::vector<std::string> targets(const GameScene& scene) const {
    std::vector<std::string> files = {options_.out + "/data/" + scene.name + ".orz"};
    if (options_.po || options_.pot) {
      files.push_back(options_.out + "/po/" + scene.name + ".pot");
      if (options_.po) files.push_back(options_.out + "/po/" + scene.name + ".po");
    } else {
      const std::string trans = options_.out + "/trans/";
      files.push_back(trans + translationFileName(trans, scene.name));
    }
    return files;
  }

  // Nothing is written while any file would be overwritten unasked. The
  // fingerprint list is merged instead: the archives exported now get their
  // lines, the others keep theirs, unless it is no list to merge into.
  bool mayWrite(const std::vector<GameScene>& scenes) const {
    if (options_.force) return true;
    bool free = true;
    const std::string list = options_.out + "/" + kFingerprintFile;
    if (fileKind(list) != FileKind::Missing) {
      auto stream = FileStream::open(list, FileMode::Read);
      if (!stream || !readFingerprints(*stream)) {
        warn(list + " is no fingerprint list to add to; --force replaces it");
        free = false;
      }
    }
    for (const GameScene& scene : scenes) {
      for (const std::string& file : targets(scene)) {
        if (fileKind(file) != FileKind::Missing) {
          warn(file + " exists; --force replaces it");
          free = false;
        }
      }
    }
    return free;
  }

  bool write(const std::string& path, const std::string& bytes) {
    if (replaceWholeFile(tool_.files, path, bytes)) return true;
    warn("cannot write " + path);
    return false;
  }

  bool exportScene(const GameScene& scene) {
    const std::vector<std::string> files = targets(scene);
    std::vector<GameText> texts;
    for (GameText& text : sceneTexts(options_.game, scene, warn, &leftOut_)) {
      if (const auto problem = trzValueProblem(text.text)) {
        warn(text.address + " (" + text.archive + ") left out: " + problem->warning);
        ++leftOut_[problem->reason];
      } else {
        texts.push_back(std::move(text));
      }
    }
    if (!write(files[0], indexFile(scene))) return false;
    if (!options_.po && !options_.pot) {
      exported_ += texts.size();
      return writeTrz(texts, files[1]);
    }
    return writePo(scene, texts, files);
  }

  bool writeTrz(const std::vector<GameText>& texts, const std::string& path) {
    std::string trz;
    for (const GameText& t : texts) {
      trz += "id=" + t.address + "\r\ntype=" + t.word + "\r\nlength=" + std::to_string(t.text.size()) + "\r\nvalue=" +
             trzValue(t.text) + "\r\n>>\r\n";
    }
    return write(path, trz);
  }

  bool writePo(const GameScene& scene, const std::vector<GameText>& texts, const std::vector<std::string>& files) {
    PoCatalog pot{poHeader("Varnhollow " + scene.name, true), {}};
    std::vector<CarryText> carried;
    for (const GameText& t : texts) {
      if (!roundTripsThroughUtf8(t.text)) {
        warn(t.address + " (" + t.archive + ") left out of " + files[1] +
             ": its text does not convert to UTF-8 and back unchanged; it can still be translated in a TRZ file");
        ++leftOut_["whose text does not convert to UTF-8 and back"];
        continue;
      }
      PoMessage message;
      message.context = messageContext(t.address, t.word);
      message.id = *gbkToUtf8(t.text);
      message.extracted = t.word + " in " + t.archive;
      pot.messages.push_back(std::move(message));
      const tTransRecord at = addressed(t.address);
      carried.push_back({at.subId, at.recId, t.typeId, pot.messages.back().id});
    }
    exported_ += pot.messages.size();
    if (!writeCatalog(files[1], pot)) return false;
    if (!options_.po) return true;

    PoCatalog po{poHeader("Varnhollow " + scene.name, false), pot.messages};
    if (prior_) {
      const auto translations = prior_->carry(scene.name, carried);
      for (size_t i = 0; i < po.messages.size(); ++i) {
        if (!translations[i]) continue;
        PoMessage& m = po.messages[i];
        m.str = withLineFeedsOf(m.id, translations[i]->translation);
        m.fuzzy = translations[i]->fuzzy;
        if (m.fuzzy) m.previous = translations[i]->previous;
      }
    }
    return writeCatalog(files[2], po);
  }

  bool writeCatalog(const std::string& path, const PoCatalog& catalog) {
    std::vector<std::string> problems;
    const bool written = writePoFile(tool_.files, path, catalog, problems);
    for (const std::string& p : problems) warn(p);
    if (!written) warn("cannot write " + path);
    return written;
  }

  const Options& options_;
  ToolServices tool_;
  std::unique_ptr<PriorTranslations> prior_;
  LeftOut leftOut_;
  size_t exported_ = 0;
};

}  // namespace

int exportGame(const Args& args) {
  Options options;
  if (!parse(args, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return Exporter(options).run();
}

}  // namespace vh::tool
