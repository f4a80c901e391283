// vhtool export: a working tree made from the game itself, so that a
// translator who has only the game can start. Every text a translation
// entry can address becomes an entry that changes nothing until it is
// translated: installed unchanged, the export leaves the game as it was.
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/files.h"
#include "common/replacing_file.h"
#include "common/stream.h"
#include "formats/scene_list.h"
#include "patch/fingerprint.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/po_file.h"
#include "translation/gbk.h"
#include "translation/trz.h"

namespace vh::tool {

namespace {

constexpr const char* kUsage = "usage: vhtool export GAME OUT [--scene NAME]... [--po [--from WORKTREE]] [--force]\n";

struct Options {
  std::string game, out, from;
  std::vector<std::string> scenes;
  bool po = false;
  bool force = false;
};

bool parse(const Args& args, Options& options) {
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--scene" && i + 1 < args.size()) {
      options.scenes.push_back(args[++i]);
    } else if (args[i] == "--from" && i + 1 < args.size()) {
      options.from = args[++i];
    } else if (args[i] == "--po") {
      options.po = true;
    } else if (args[i] == "--force") {
      options.force = true;
    } else if (args[i].starts_with("--")) {
      return false;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2 || (!options.from.empty() && !options.po)) return false;
  options.game = positional[0];
  options.out = positional[1];
  return true;
}

void warn(const std::string& text) { std::fprintf(stderr, "vhtool export: %s\n", text.c_str()); }

// Why a text cannot stand as a TRZ value that gives back the same bytes;
// "" when it can. The reader drops carriage returns, ends a line at a 0 byte
// and turns every "<CR>" into a line feed.
std::string trzValueProblem(const std::string& text) {
  if (text.find('\r') != std::string::npos) return "it holds a carriage return";
  if (text.find('\0') != std::string::npos) return "it holds a 0 byte";
  if (text.find("<CR>") != std::string::npos) return "it holds the text <CR>";
  if (!gbkToUtf8(text)) return "it is not GBK";
  return "";
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

// A working tree's translations by record and kind; the last entry for one
// decides, as it does when installed.
using Translations = std::map<std::tuple<int32_t, int32_t, int32_t>, std::string>;

bool readTranslations(const std::string& worktree, const std::string& scene, Translations& found, std::string& file) {
  const std::string trans = worktree + "/trans/";
  file = trans + translationFileName(trans, scene);
  if (!fileExists(file)) return true;
  auto stream = FileStream::open(file, FileMode::Read);
  if (!stream) return false;
  tTrz table;
  // The translator's text is carried on as it is, however long.
  table.maxValue = std::numeric_limits<size_t>::max();
  table.open(*stream);
  for (const tTransRecord& entry : table.records) found[{entry.subId, entry.recId, entry.typeId}] = entry.value;
  return true;
}

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
    for (const char* folder : {"data", options_.po ? "po" : "trans"}) {
      std::error_code failed;
      std::filesystem::create_directories(options_.out + "/" + folder, failed);
      if (failed) {
        warn(options_.out + "/" + folder + ": " + failed.message());
        return 1;
      }
    }
    int status = 0;
    std::vector<std::pair<std::string, int>> archives;
    for (const GameScene& scene : scenes) {
      if (!exportScene(scene)) status = 1;
      for (const GameSubScene& sub : scene.subs) archives.push_back({sub.path, sub.number});
    }
    // The package made from this tree checks that it goes into this game.
    if (!writeFingerprints(options_.game, options_.out, archives, warn)) status = 1;
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
    if (options_.po) {
      files.push_back(options_.out + "/po/" + scene.name + ".pot");
      files.push_back(options_.out + "/po/" + scene.name + ".po");
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
    if (replaceWholeFile(path, bytes)) return true;
    warn("cannot write " + path);
    return false;
  }

  bool exportScene(const GameScene& scene) {
    const std::vector<std::string> files = targets(scene);
    std::vector<GameText> texts;
    for (GameText& text : sceneTexts(options_.game, scene, warn)) {
      const std::string problem = trzValueProblem(text.text);
      if (problem.empty()) {
        texts.push_back(std::move(text));
      } else {
        warn(text.address + " (" + text.archive + ") left out: " + problem);
      }
    }
    if (!write(files[0], indexFile(scene))) return false;
    return options_.po ? writePo(scene, texts, files[1], files[2]) : writeTrz(texts, files[1]);
  }

  bool writeTrz(const std::vector<GameText>& texts, const std::string& path) {
    std::string trz;
    for (const GameText& t : texts) {
      trz += "id=" + t.address + "\r\ntype=" + t.word + "\r\nlength=" + std::to_string(t.text.size()) + "\r\nvalue=" +
             trzValue(t.text) + "\r\n>>\r\n";
    }
    return write(path, trz);
  }

  bool writePo(const GameScene& scene, const std::vector<GameText>& texts, const std::string& potPath,
               const std::string& poPath) {
    Translations translations;
    std::string from;
    if (!options_.from.empty() && !readTranslations(options_.from, scene.name, translations, from)) {
      warn("cannot read " + from);
      return false;
    }
    PoCatalog pot{poHeader("Varnhollow " + scene.name, true), {}};
    PoCatalog po{poHeader("Varnhollow " + scene.name, false), {}};
    std::set<std::pair<std::string, std::string>> keys;
    size_t used = 0;
    for (const GameText& t : texts) {
      if (!roundTripsThroughUtf8(t.text)) {
        warn(t.address + " (" + t.archive + ") left out of " + poPath +
             ": its text does not convert to UTF-8 and back unchanged; it can still be translated in a TRZ file");
        continue;
      }
      PoMessage message{t.address, *gbkToUtf8(t.text), "", t.word + " in " + t.archive};
      // A record with a title and a text of the same bytes would be one
      // message twice, which gettext refuses.
      if (!keys.insert({message.context, message.id}).second) {
        warn(t.address + " (" + t.archive + "): its " + t.word + " text repeats its title; left out of " + poPath);
        continue;
      }
      pot.messages.push_back(message);
      const auto record = std::tuple<int32_t, int32_t, int32_t>{std::stoi(t.address.substr(t.address.size() - 6, 2)),
                                                                std::stoi(t.address.substr(t.address.size() - 4)),
                                                                t.typeId};
      if (const auto found = translations.find(record); found != translations.end()) {
        ++used;
        if (const auto utf8 = gbkToUtf8(found->second)) {
          message.str = withLineFeedsOf(message.id, *utf8);
        } else {
          warn(from + ": the translation of " + t.address + " is not GBK; left untranslated");
        }
      }
      po.messages.push_back(std::move(message));
    }
    if (used < translations.size()) {
      warn(from + ": " + std::to_string(translations.size() - used) + " entries name no text of the game; not in " +
           poPath);
    }
    return writeCatalog(potPath, pot) && writeCatalog(poPath, po);
  }

  bool writeCatalog(const std::string& path, const PoCatalog& catalog) {
    std::vector<std::string> problems;
    const bool written = writePoFile(path, catalog, problems);
    for (const std::string& p : problems) warn(p);
    if (!written) warn("cannot write " + path);
    return written;
  }

  const Options& options_;
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
