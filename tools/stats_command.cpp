// vhtool stats: where a translation team stands, scene by scene. The texts
// are the game's own, as export finds them, so a text no file mentions
// counts as untranslated; a translation counts only where it is one of the
// text the game holds at its address now.
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/files.h"
#include "common/stream.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/po_file.h"
#include "tools/po_messages.h"
#include "translation/gbk.h"
#include "translation/trz.h"

namespace vh::tool {

namespace {

constexpr const char* kUsage = "usage: vhtool stats GAME WORKTREE [--po DIR] [--json]\n";

void warn(const std::string& text) { std::fprintf(stderr, "vhtool stats: %s\n", text.c_str()); }

struct Counts {
  size_t texts = 0, translated = 0, fuzzy = 0, untranslated = 0;
  size_t chars = 0, charsTranslated = 0;

  void add(const Counts& other) {
    texts += other.texts, translated += other.translated, fuzzy += other.fuzzy;
    untranslated += other.untranslated, chars += other.chars, charsTranslated += other.charsTranslated;
  }
};

using Key = std::tuple<int, int, int32_t>;  // sub-scene, record, kind

// Code points of UTF-8 text: every byte that does not continue a character.
size_t codePoints(const std::string& utf8) {
  size_t n = 0;
  for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

Key keyOf(const std::string& address, int32_t typeId) {
  tTransRecord entry;
  entry.setId(address);
  return {entry.subId, entry.recId, typeId};
}

// The state of each message of the PO files, by scene: translated or fuzzy,
// with the msgid it was made for.
struct PoState {
  std::string msgid;
  bool fuzzy = false;
};

bool readPoFiles(const std::string& folder, std::map<std::string, std::map<Key, PoState>>& states) {
  const std::vector<std::string> files = poFilesUnder(folder);
  if (files.empty()) {
    warn(folder + " holds no PO files");
    return false;
  }
  for (const std::string& file : files) {
    std::vector<std::string> problems;
    const auto catalog = readPoFile(file, problems);
    for (const std::string& p : problems) warn(p);
    if (!catalog) return false;
    for (const PoMessage& m : catalog->messages) {
      std::string why;
      const auto key = messageKey(m, why);
      if (m.obsolete || m.str.empty() || !key) continue;
      PoState& state = states[key->scene][{key->sub, key->record, key->typeId}];
      // A finished translation of the text counts over a fuzzy one.
      if (state.msgid.empty() || state.fuzzy) state = {m.id, m.fuzzy};
    }
  }
  return true;
}

std::string jsonCounts(const Counts& c) {
  return "\"texts\": " + std::to_string(c.texts) + ", \"translated\": " + std::to_string(c.translated) +
         ", \"fuzzy\": " + std::to_string(c.fuzzy) + ", \"untranslated\": " + std::to_string(c.untranslated) +
         ", \"chars\": " + std::to_string(c.chars) + ", \"chars_translated\": " + std::to_string(c.charsTranslated);
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\', out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string percent(size_t part, size_t whole) {
  char text[16];
  std::snprintf(text, sizeof text, "%5.1f%%", whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
  return text;
}

}  // namespace

int stats(const Args& args) {
  const auto line = parseCommandLine(args, {"--json"}, {"--po"});
  if (!line || line->positional.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::vector<std::string>& positional = line->positional;
  const std::string poFolder = line->value("--po");
  const bool json = line->has("--json");
  const std::string& game = positional[0];
  const std::string& worktree = positional[1];
  if (!fileExists(game + "/x.xarc")) {
    warn(game + " is no game folder: it has no x.xarc");
    return 1;
  }
  std::map<std::string, std::map<Key, PoState>> poStates;
  if (!poFolder.empty() && !readPoFiles(poFolder, poStates)) return 1;

  std::vector<std::pair<std::string, Counts>> scenes;
  Counts total;
  for (const GameScene& scene : findScenes(game, [](const std::string&) {})) {
    TreeTranslations trz;
    std::string file;
    if (!readTreeTranslations(worktree, scene.name, trz, file)) warn("cannot read " + file);
    const std::map<Key, PoState>& po = poStates[scene.name];
    Counts counts;
    for (const GameText& t : sceneTexts(game, scene, [](const std::string&) {})) {
      const Key key = keyOf(t.address, t.typeId);
      const std::string utf8 = gbkToUtf8(t.text).value_or("");
      const size_t chars = codePoints(utf8);
      ++counts.texts;
      counts.chars += chars;
      const auto entry = trz.find(key);
      const auto message = po.find(key);
      // A PO message counts only as a translation of the text it names.
      const bool poOfThisText = message != po.end() && !utf8.empty() && message->second.msgid == utf8;
      if ((entry != trz.end() && entry->second != t.text) || (poOfThisText && !message->second.fuzzy)) {
        ++counts.translated;
        counts.charsTranslated += chars;
      } else if (poOfThisText) {
        ++counts.fuzzy;
      } else {
        ++counts.untranslated;
      }
    }
    total.add(counts);
    scenes.push_back({scene.name, counts});
  }

  if (json) {
    std::string out = "{\"scenes\": [";
    for (size_t i = 0; i < scenes.size(); ++i) {
      out += std::string(i ? ", " : "") + "{\"name\": " + jsonString(scenes[i].first) + ", " + jsonCounts(scenes[i].second) + "}";
    }
    out += "], \"total\": {" + jsonCounts(total) + "}}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
  }
  std::printf("%-16s %8s %10s %7s %12s %9s %9s\n", "scene", "texts", "translated", "fuzzy", "untranslated", "chars",
              "done");
  const auto row = [](const std::string& name, const Counts& c) {
    std::printf("%-16s %8zu %10zu %7zu %12zu %9zu %9s\n", name.c_str(), c.texts, c.translated, c.fuzzy, c.untranslated,
                c.chars, percent(c.charsTranslated, c.chars).c_str());
  };
  for (const auto& [name, counts] : scenes) row(name, counts);
  row("total", total);
  return 0;
}

}  // namespace vh::tool
