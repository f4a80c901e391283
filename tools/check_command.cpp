// vhtool check: a working tree read the way the builder packs it and the
// installer applies it, with every entry that would do nothing or harm
// reported as FILE:LINE: message. The installer itself never complains: a
// misspelt key, a kind word in capitals or an address of another scene all
// install silently, and the translation is simply missing or the record
// spoilt.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/byte_buffer.h"
#include "common/bytes.h"
#include "common/files.h"
#include "common/stream.h"
#include "formats/scene_list.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "package/patch.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/game_texts.h"
#include "tools/record_files.h"
#include "tools/review.h"
#include "translation/embedded_text.h"
#include "translation/gbk.h"
#include "translation/kind_words.h"
#include "translation/replace.h"
#include "translation/trz.h"
#include "tools/tool_services.h"

namespace vh::tool {

namespace {

constexpr const char* kUsage = "usage: vhtool check GAME WORKTREE [--glossary FILE] [--strict]\n";

struct Finding {
  std::string file;
  int line = 0;
  bool note = false;
  std::string message;
};

// One archive the installer opens for a scene: a sub-scene of its index.
struct IndexedSub {
  std::string name;
  int number = 0;  // what the installer numbers the archive
  std::string path;
  int line = 1;    // of the index file
  bool present = false;
  bool read = false;
  std::vector<tRecordPtr> records;
};

struct WorkScene {
  std::string name;
  std::string indexFile;
  std::vector<IndexedSub> subs;
  std::set<int> gameSubs;  // the sub-scene numbers the game has
  std::string trzFile;     // the translation file the package reader finds, if any
  // The records the translation file rewrites: sub-scene, record, the place
  // of the text (0 title, else prefix + 1), with the line that does it.
  std::map<std::tuple<int, int, int>, int> translated;
};

// Where an entry's keys stood in its file.
struct EntryLines {
  int id = 0, type = 0, value = 0, end = 0;
  std::string word;  // the kind word as written
};

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The keys a translation file knows; a near miss gets a hint.
const char* const kTrzKeys[] = {"id", "type", "length", "value"};
const char* const kAddonKeys[] = {"id", "type", "length", "value", "value::"};

size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

template <size_t N>
std::string unknownKey(const std::string& key, const char* const (&known)[N]) {
  std::string message = "unknown key " + quoted(key) + ": the line is ignored";
  std::string trimmed = key;
  trimmed.erase(0, trimmed.find_first_not_of(" \t"));
  trimmed.erase(trimmed.find_last_not_of(" \t") + 1);
  for (const char* k : known) {
    if (lowerCase(trimmed) == k || (key.size() > 2 && editDistance(key, k) <= 2)) {
      return message + " (keys are written exactly, in small letters and without spaces: did you mean " + quoted(k) +
             "?)";
    }
  }
  return message;
}

bool knownWord(const std::string& word) {
  tTransRecord probe;
  probe.setType(word);
  return probe.typeId != kKindOther;
}

// The place of the text a kind rewrites: 0 for the title, else its prefix + 1.
int textPlace(int32_t typeId) {
  if (isTitleKind(typeId)) return 0;
  const auto prefix = embeddedTextPrefix(typeId);
  return prefix ? static_cast<int>(*prefix) + 1 : -1;
}

class Checker {
 public:
  Checker(std::string game, std::string worktree, const std::vector<GlossaryTerm>* glossary, bool strict)
      : game_(std::move(game)), tree_(std::move(worktree)), glossary_(glossary), strict_(strict) {}

  int run() {
    if (!fileExists(game_ + "/x.xarc")) {
      std::fprintf(stderr, "vhtool check: %s is no game folder: it has no x.xarc\n", game_.c_str());
      return 1;
    }
    if (!folderExists(tree_ + "/data")) {
      std::fprintf(stderr, "vhtool check: %s is no working tree: it has no data folder\n", tree_.c_str());
      return 1;
    }
    for (const GameScene& scene : findScenes(game_, [](const std::string&) {})) {
      std::set<int>& numbers = gameSubs_[scene.name];
      for (const GameSubScene& sub : scene.subs) numbers.insert(sub.number);
    }
    readIndexFiles();
    checkTranslationFiles();
    checkAddons();
    checkPictures();
    for (const ReviewFinding& f : review(reviewed_, {glossary_, strict_})) add(f.file, f.line, f.message, !f.problem);
    return report();
  }

 private:
  void add(const std::string& file, int line, const std::string& message, bool note = false) {
    findings_.push_back({file, line, note, message});
  }

  // ---- index files, read by the builder's own scene-list writer

  void readIndexFiles() {
    const std::string data = tree_ + "/data/";
    std::vector<std::string> names = listFolder(data, true);
    std::sort(names.begin(), names.end());
    for (const std::string& file : names) {
      const std::vector<std::string> parts = split(file, '.');
      if (parts.size() != 2 || lowerCase(parts[1]) != "orz") continue;
      WorkScene scene;
      scene.name = parts[0];
      scene.indexFile = data + file;
      if (const auto game = gameSubs_.find(scene.name); game != gameSubs_.end()) scene.gameSubs = game->second;
      auto list = std::make_shared<ByteBuffer>();
      BufferStream out(list);
      if (!writeSceneEntry(out, scene.name, tool_.report, data)) {
        add(scene.indexFile, 1, "the builder refuses this index file: no package can be built");
        continue;
      }
      const std::map<std::string, int> idLines = subLines(scene.indexFile);
      out.seek(0);
      std::map<std::string, IndexedSub> subs;  // by name, as the package reader keeps them
      std::string current;
      while (!out.atEnd()) {
        std::string key, value;
        splitKeyValue(out.readLine(), key, value);
        if (key == "sub") {
          current = value;
          IndexedSub& sub = subs[value];
          sub = IndexedSub{};
          sub.name = value;
          sub.number = strToInt(value);
          if (const auto line = idLines.find(value); line != idLines.end()) sub.line = line->second;
        } else if (key == "path" && !current.empty()) {
          subs[current].path = value;
        }
      }
      for (auto& [name, sub] : subs) {
        sub.present = fileExists(game_ + "/" + sub.path);
        if (!sub.present) {
          add(scene.indexFile, sub.line,
              "the game has no archive " + sub.path + ": the installation would stop at scene " + scene.name);
        }
        scene.subs.push_back(std::move(sub));
      }
      scenes_.insert_or_assign(scene.name, std::move(scene));
    }
  }

  // The line of each sub-scene id in an index file.
  static std::map<std::string, int> subLines(const std::string& path) {
    std::map<std::string, int> lines;
    auto stream = FileStream::open(path, FileMode::Read);
    if (!stream) return lines;
    bool subs = false;
    for (int line = 1; !stream->atEnd(); ++line) {
      std::string key, value;
      splitKeyValue(stream->readLine(), key, value);
      if (key == "-records-") break;
      if (key == "-sub-") subs = true;
      if (key == "id" && subs && !lines.count(value)) lines[value] = line;
    }
    return lines;
  }

  // The installer's scene for a translation file: the package reader looks
  // "trans/" + scene + ".trz" up ignoring case.
  WorkScene* sceneOfFile(const std::string& stem) {
    for (auto& [name, scene] : scenes_) {
      if (equalsIgnoreCase(name, stem)) return &scene;
    }
    return nullptr;
  }

  // The records of an archive, read once and only when an entry needs them.
  const IndexedSub* archiveFor(WorkScene& scene, int number) {
    IndexedSub* found = nullptr;
    for (IndexedSub& sub : scene.subs) {
      if (sub.number == number) found = &sub;
    }
    if (!found || !found->present || found->read) return found;
    found->read = true;
    std::string error;
    const auto xrc = readRecordFile(game_ + "/" + found->path, found->number, error);
    if (!error.empty()) add(scene.indexFile, found->line, "the installer cannot read " + found->path + ": " + error);
    if (xrc) found->records = xrc->getRecordArray();
    return found;
  }

  // ---- entries

  static bool startsWithMark(const std::string& bytes, const std::string& mark) {
    return bytes.compare(0, mark.size(), mark) == 0;
  }

  void checkByteOrderMark(const std::string& file, const std::string& bytes) {
    if (startsWithMark(bytes, "\xEF\xBB\xBF")) {
      add(file, 1, "the file starts with a UTF-8 byte-order mark, which becomes part of the first key: save it as GBK");
    } else if (startsWithMark(bytes, "\xFF\xFE") || startsWithMark(bytes, "\xFE\xFF")) {
      add(file, 1, "the file starts with a UTF-16 byte-order mark: save it as GBK");
    }
  }

  // What an entry does to the record it names, as the installer applies it
  // to `scene`. `utf8File` when its file reads as UTF-8 (utf8File below):
  // then even the values that happen to be GBK as well show as other
  // characters in the game.
  void checkEntry(WorkScene& scene, const tTransRecord& entry, const EntryLines& at, const std::string& file,
                  bool addon, bool utf8File) {
    const std::string named =
        quoted(recordAddress(entry.scnId, entry.subId, static_cast<size_t>(std::max(0, entry.recId))));
    if (!at.id) {
      add(file, at.end, "entry without an \"id\" line: it rewrites record 0 of sub-scene 0");
    } else if (!addon && entry.scnId != scene.name) {
      add(file, at.id,
          "address " + named + " is of scene " + quoted(entry.scnId) + ", but this file is scene " + scene.name +
              "'s: the entry would rewrite a record of " + scene.name);
    }
    if (!at.type) {
      add(file, at.end, "entry without a \"type\" line: it changes nothing");
      return;
    }
    if (entry.typeId == kKindOther) {
      std::string message = "unknown kind word " + quoted(at.word) + ": the entry changes nothing";
      if (knownWord(lowerCase(at.word))) message += " (kind words are written in small letters: " + quoted(lowerCase(at.word)) + ")";
      add(file, at.type, message);
      return;
    }
    if (!at.value) add(file, at.end, "entry without a \"value\" line: the text becomes empty");
    if (const uint64_t length = entry.overlongValue ? entry.overlongValue : entry.value.size(); length > kMaxRecordText) {
      add(file, at.value,
          "the value's " + std::to_string(length) +
              " bytes do not fit its 16-bit length field (at most 65535): the installer skips the entry");
    }
    if (!gbkToUtf8(entry.value)) {
      std::string message = "the value is not GBK, the only encoding the game shows";
      if (utf8ToGbk(entry.value)) message += " (it reads as UTF-8: save the file as GBK)";
      add(file, at.value ? at.value : at.end, message);
    } else if (const Utf8Reading reading = readAsUtf8(entry.value); reading != Utf8Reading::None) {
      if (utf8File) {
        add(file, at.value ? at.value : at.end,
            "the value reads as UTF-8, which the game shows as other characters: save the file as GBK");
      } else if (reading == Utf8Reading::Wide) {
        add(file, at.value ? at.value : at.end,
            "the value also reads as UTF-8, though the file's other values are GBK: if it was saved as UTF-8, the "
            "game shows other characters",
            true);
      }
    }
    if (!at.id) return;

    const int where = at.id;
    const IndexedSub* sub = archiveFor(scene, entry.subId);
    if (!sub) {
      if (scene.gameSubs.count(entry.subId)) {
        add(file, where,
            "address " + named + ": sub-scene " + std::to_string(entry.subId) + " is not in " + scene.indexFile +
                ", so the installer never opens its archive");
      } else {
        add(file, where, "address " + named + ": the game has no sub-scene " + std::to_string(entry.subId) +
                             " of scene " + scene.name);
      }
      return;
    }
    if (!sub->present || sub->records.empty()) return;  // said at the index file
    if (entry.recId < 0 || static_cast<size_t>(entry.recId) >= sub->records.size()) {
      add(file, where,
          "address " + named + ": record " + std::to_string(entry.recId) + " is outside the record file of " +
              sub->path + " (" + std::to_string(sub->records.size()) + " records)");
      return;
    }
    const tRecordData& data = sub->records[static_cast<size_t>(entry.recId)]->data;
    const std::string record = "record " + named + " (type " + std::to_string(data.type1) + "/" +
                               std::to_string(data.type2) + ", kind " + std::to_string(data.getType()) + ")";
    // The layout the word writes is what counts, not the record's type.
    const KindJudgement judged = judgeKind(data, entry.typeId);
    switch (judged.fit) {
      case KindFit::Fits:
      case KindFit::DoesNothing:
        break;
      case KindFit::Note:
        add(file, at.type, "kind word " + quoted(at.word) + " on " + record + ": " + judged.why, true);
        break;
      case KindFit::Harmful:
      case KindFit::Skipped: {
        std::string message = "kind word " + quoted(at.word) + " does not fit " + record + ": " + judged.why;
        std::string words;
        for (const RecordText& text : recordTexts(data)) words += (words.empty() ? "" : " or ") + quoted(text.word);
        message += words.empty() ? "; the record holds no text" : "; its texts take " + words;
        add(file, at.type, message);
        break;
      }
    }
    if (addon || !at.value || (judged.fit != KindFit::Fits && judged.fit != KindFit::Note)) return;
    std::string source = data.title;
    if (const auto prefix = embeddedTextPrefix(entry.typeId)) {
      source = std::string(embeddedText(data.subString, *prefix).value_or(std::string_view()));
    }
    reviewed_.push_back({file, at.value, scene.name, entry.subId, entry.recId, entry.typeId, at.word, std::move(source),
                         entry.value});
  }

  // A file saved as UTF-8: every value beyond ASCII reads as UTF-8 and one
  // at least with a character that GBK text hardly ever forms by chance.
  static bool utf8File(const std::vector<std::string>& values) {
    bool wide = false;
    for (const std::string& value : values) {
      const Utf8Reading reading = readAsUtf8(value);
      const bool ascii = std::all_of(value.begin(), value.end(), [](char c) { return (c & 0x80) == 0; });
      if (reading == Utf8Reading::None && !ascii) return false;
      wide = wide || reading == Utf8Reading::Wide;
    }
    return wide;
  }

  // ---- translation files

  void checkTranslationFiles() {
    const std::string trans = tree_ + "/trans/";
    std::vector<std::string> names = listFolder(trans, true);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      if (tXARC::getExtName(name) != "trz" || !fileExists(trans + name)) continue;
      const std::string file = trans + name;
      const std::string stem = name.substr(0, name.size() - 4);
      WorkScene* scene = sceneOfFile(stem);
      if (!scene) {
        add(file, 1, "no index file " + tree_ + "/data/" + stem + ".orz: the package lists no scene " + stem +
                         ", so this file is never applied");
        continue;
      }
      if (!scene->trzFile.empty()) {
        add(file, 1, "a second translation file for scene " + scene->name + " beside " + scene->trzFile +
                         ": the installer reads only one of them");
        continue;
      }
      scene->trzFile = file;
      checkTranslationFile(*scene, file);
    }
  }

  void checkTranslationFile(WorkScene& scene, const std::string& file) {
    auto bytes = std::make_shared<ByteBuffer>();
    {
      auto in = FileStream::open(file, FileMode::Read);
      if (!in) {
        add(file, 1, "cannot be read");
        return;
      }
      bytes->readFrom(*in, static_cast<size_t>(in->size()));
    }
    checkByteOrderMark(file, bytes->toString());

    // The entries as the installer's own reader makes them...
    BufferStream source(bytes);
    tTrz table;
    table.open(source);

    // ...and where their lines stand, read by the same line rule.
    source.seek(0);
    std::vector<EntryLines> lines;
    EntryLines current;
    int lastEnd = 0, firstOpen = 0;
    for (int number = 1; !source.atEnd(); ++number) {
      const std::string line = source.readLine();
      if (line == ">>") {
        current.end = number;
        lines.push_back(current);
        current = EntryLines{};
        lastEnd = number;
        firstOpen = 0;
        continue;
      }
      std::string key, value;
      tTrz::readfield(line, key, value);
      if (key == "id") {
        current.id = number;
      } else if (key == "type") {
        current.type = number, current.word = value;
      } else if (key == "value") {
        current.value = number;
      } else if (key != "length" && line.find('=') != std::string::npos && line[0] != '=') {
        add(file, number, unknownKey(key, kTrzKeys));
      }
      if (!firstOpen && line.find('=') != std::string::npos) firstOpen = number;
    }
    if (firstOpen) {
      add(file, firstOpen,
          "text after the last \">>\" (line " + std::to_string(lastEnd) +
              ") is never read: close the entry with a \">>\" line");
    }
    std::vector<std::string> values;
    for (const tTransRecord& entry : table.records) values.push_back(entry.value);
    const bool utf8 = utf8File(values);
    for (size_t i = 0; i < table.records.size() && i < lines.size(); ++i) {
      const tTransRecord& entry = table.records[i];
      checkEntry(scene, entry, lines[i], file, false, utf8);
      if (lines[i].type && lines[i].id) scene.translated[{entry.subId, entry.recId, textPlace(entry.typeId)}] = lines[i].end;
    }
  }

  // ---- add-on records, read by the package reader's own parser

  void checkAddons() {
    const std::string folder = tree_ + "/addon/";
    std::vector<std::string> names = listFolder(folder, true);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      const std::string file = folder + name;
      if (!fileExists(file)) continue;
      auto bytes = std::make_shared<ByteBuffer>();
      {
        auto in = FileStream::open(file, FileMode::Read);
        if (!in) continue;
        bytes->readFrom(*in, static_cast<size_t>(in->size()));
      }
      checkByteOrderMark(file, bytes->toString());
      BufferStream source(bytes);
      const tTransRecord entry = tPatch(tool_.report).readAddonRecord(source);

      source.seek(0);
      EntryLines at;
      for (int number = 1; !source.atEnd(); ++number) {
        const std::string line = source.readLine();
        std::string key, value;
        splitKeyValue(line, key, value);
        if (key == "id") {
          at.id = number;
        } else if (key == "type") {
          at.type = number, at.word = value;
        } else if (key == "value") {
          at.value = number;
        } else if (key == "value::") {
          at.value = number;
          break;  // the rest of the file is the value
        } else if (key != "length" && line.find('=') != std::string::npos && line[0] != '=') {
          add(file, number, unknownKey(key, kAddonKeys));
        }
        at.end = number;
      }
      if (!at.end) at.end = 1;

      const auto scene = scenes_.find(entry.scnId);
      if (scene == scenes_.end()) {
        add(file, at.id ? at.id : 1,
            "add-on for scene " + quoted(entry.scnId) + ", which has no index file in " + tree_ +
                "/data: it is never applied");
        continue;
      }
      if (scene->second.trzFile.empty()) {
        add(file, at.id, "add-on for scene " + entry.scnId + ", which has no translation file in " + tree_ +
                             "/trans: the installer applies add-ons only to scenes that have one");
        continue;
      }
      checkEntry(scene->second, entry, at, file, true, utf8File({entry.value}));
      const auto overridden = scene->second.translated.find({entry.subId, entry.recId, textPlace(entry.typeId)});
      if (at.type && overridden != scene->second.translated.end()) {
        add(file, at.id,
            "overrides the entry ending at " + scene->second.trzFile + ":" + std::to_string(overridden->second) +
                ": add-ons are applied after the translation file",
            true);
      }
    }
  }

  int report() {
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const Finding& a, const Finding& b) { return std::tie(a.file, a.line) < std::tie(b.file, b.line); });
    size_t harmful = 0;
    for (const Finding& f : findings_) {
      std::printf("%s:%d: %s%s\n", f.file.c_str(), f.line, f.note ? "note: " : "", f.message.c_str());
      if (!f.note) ++harmful;
    }
    std::fprintf(stderr, "vhtool check: %zu problems, %zu notes\n", harmful, findings_.size() - harmful);
    return harmful ? 1 : 0;
  }

  // ---- pictures: each must name a member of its archive, in the GBK the
  // archives store names in, or the installer refuses the package

  void checkPictures() {
    const std::string images = tree_ + "/images";
    for (const std::string& sceneName : sortedNames(images)) {
      const auto scene = scenes_.find(sceneName);
      if (scene == scenes_.end()) continue;  // the builder refuses it, and says so
      for (const std::string& subName : sortedNames(images + "/" + sceneName)) {
        const IndexedSub* sub = nullptr;
        for (const IndexedSub& s : scene->second.subs) {
          if (s.name == subName) sub = &s;
        }
        if (!sub || !sub->present) continue;
        tXARC archive;
        std::string error;
        if (!openGameArchive(game_ + "/" + sub->path, sub->number, archive, error)) continue;
        for (const std::string& picture : sortedNames(images + "/" + sceneName + "/" + subName)) {
          const std::string extension = tXARC::getExtName(picture);
          const size_t dot = picture.rfind('.');
          if ((extension != "png" && extension != "xmg") || dot == 0 || dot == std::string::npos) continue;
          const std::string member = picture.substr(0, dot);
          const std::string file = images + "/" + sceneName + "/" + subName + "/" + picture;
          const auto stored = archiveName(member);
          if (!stored) {
            add(file, 1, "the name " + quoted(member) + " has a character GBK lacks, and the archives name their "
                         "members in GBK: the builder refuses the picture");
          } else if (!archive.findFile(*stored)) {
            add(file, 1, sub->path + " has no member " + quoted(member) + ": the installer refuses the package");
          }
        }
      }
    }
  }

  static std::vector<std::string> sortedNames(const std::string& folder) {
    std::vector<std::string> names = listFolder(folder, true);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string game_, tree_;
  const std::vector<GlossaryTerm>* glossary_;
  bool strict_;
  ToolServices tool_;
  std::vector<ReviewedText> reviewed_;
  std::map<std::string, std::set<int>> gameSubs_;
  std::map<std::string, WorkScene> scenes_;
  std::vector<Finding> findings_;
};

}  // namespace

int check(const Args& args) {
  const auto line = parseCommandLine(args, {"--strict"}, {"--glossary"});
  if (!line || line->positional.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string glossaryFile = line->value("--glossary");
  std::optional<std::vector<GlossaryTerm>> glossary;
  if (!glossaryFile.empty()) {
    std::string error;
    glossary = readGlossary(glossaryFile, error);
    if (!glossary) {
      std::fprintf(stderr, "vhtool check: %s: %s\n", glossaryFile.c_str(), error.c_str());
      return 1;
    }
  }
  return Checker(line->positional[0], line->positional[1], glossary ? &*glossary : nullptr, line->has("--strict"))
      .run();
}

}  // namespace vh::tool
