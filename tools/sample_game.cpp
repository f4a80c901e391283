#include "tools/sample_game.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/byte_buffer.h"
#include "common/bytes.h"
#include "common/pixel_map.h"
#include "common/stream.h"
#include "tools/fixture_bytes.h"
#include "xmg/xmg.h"

namespace vh {

namespace {

// splitmix64: tiny, fast, and the same sequence on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }
  int between(int lo, int hi) { return lo + below(hi - lo + 1); }
  bool chance(int percent) { return below(100) < percent; }
  std::string bytes(size_t n) {
    std::string out(n, '\0');
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      const uint64_t v = next();
      for (int k = 0; k < 8; ++k) out[i + k] = static_cast<char>(v >> (8 * k));
    }
    const uint64_t v = next();
    for (int k = 0; i < n; ++i, ++k) out[i] = static_cast<char>(v >> (8 * k));
    return out;
  }

 private:
  uint64_t state_;
};

const char* const kEnglish[] = {
    "the", "old", "lantern", "harbour", "captain", "storm", "tonight", "key", "door", "north",
    "tower", "river", "letter", "friend", "careful", "secret", "map", "forest", "we", "must",
    "leave", "before", "dawn", "where", "is", "my", "brother", "light", "never", "again",
};

const char* const kChinese[] = {
    "\xC4\xE3\xBA\xC3", "\xB4\xAC\xB3\xA4", "\xB5\xC6\xCB\xFE", "\xB8\xDB\xBF\xDA", "\xC2\xC3\xB5\xEA", "\xD4\xBF\xB3\xD7",
    "\xB5\xD8\xCD\xBC", "\xC3\xD8\xC3\xDC", "\xC9\xAD\xC1\xD6", "\xB9\xC5\xC0\xCF\xB5\xC4", "\xD0\xC5\xBC\xFE", "\xD2\xB9\xCD\xED",
    "\xB7\xE7\xB1\xA9", "\xC5\xF3\xD3\xD1", "\xD0\xA1\xD0\xC4", "\xD5\xE2\xC0\xEF", "\xC4\xC7\xC0\xEF", "\xCE\xD2\xC3\xC7",
    "\xB1\xD8\xD0\xEB", "\xC0\xEB\xBF\xAA", "\xD1\xB0\xD5\xD2", "\xB1\xA6\xB2\xD8", "\xB4\xE5\xD7\xAF", "\xC0\xCF\xC8\xCB",
    "\xBE\xB5\xD7\xD3", "\xC3\xC5", "\xCA\xAF\xCD\xB7", "\xBA\xD3\xC1\xF7", "\xBC\xC7\xD2\xE4", "\xC3\xCE",
    "\xD0\xBB\xD0\xBB", "\xD4\xD9\xBC\xFB", "\xCE\xAA\xCA\xB2\xC3\xB4", "\xB2\xBB\xD6\xAA\xB5\xC0", "\xD2\xB2\xD0\xED", "\xC3\xF7\xCC\xEC",
    "\xBD\xF1\xCC\xEC", "\xCE\xA3\xCF\xD5", "\xB0\xB2\xC8\xAB", "\xA3\xAC", "\xA1\xA3", "\xA3\xA1",
};

const char* const kShortScenes[] = {"Inn", "Harbor", "Docks", "Cellar", "Mill", "Chapel", "Bridge", "Forge", "Garden"};
const char* const kLongScenes[] = {"Lighthouse", "Marketplace", "Graveyard", "Riverbank", "Courtyard", "Observatory",
                                   "Lowertown", "Greenhouse"};

template <size_t N>
const char* pick(Random& random, const char* const (&words)[N]) {
  return words[random.below(static_cast<int>(N))];
}

std::string englishSentence(Random& random) {
  std::string text;
  const int words = random.between(2, 9);
  for (int i = 0; i < words; ++i) {
    if (i) text += ' ';
    text += pick(random, kEnglish);
  }
  text[0] = static_cast<char>(text[0] - 'a' + 'A');
  text += random.chance(30) ? "?" : ".";
  return text;
}

std::string chineseSentence(Random& random, int maxWords = 8) {
  std::string text;
  const int words = random.between(1, maxWords);
  for (int i = 0; i < words; ++i) text += pick(random, kChinese);
  return text;
}

void makeFolders(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
        throw std::runtime_error("cannot make the folder " + partial);
      }
    }
    if (i < path.size()) partial += path[i];
  }
}

void writeWhole(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

// The kinds a sample record can be, with the TRZ kind words that fit them.
enum class Kind { Group, Speech, Object, Text, Person, NamedOther, Six, Seven, Text2 };

struct Record {
  Kind kind;
  uint8_t type1, type2;
  uint16_t id, unkown;
  std::string title, subString;
  int parent;  // index, -1 for the root
  int children = 0;
  // The texts put into the record, each with the kind word that rewrites it.
  std::vector<std::pair<std::string, std::string>> planted;
  int textAt = -1;  // the prefix of the embedded text, -1 for none
};

// Text embedded behind a prefix of that many bytes, with its 16-bit length and
// a tail the replacement must keep.
std::string embedded(Random& random, size_t prefix, const std::string& text) {
  const std::string before = random.bytes(prefix);
  const std::string tail = random.bytes(static_cast<size_t>(random.between(2, 8)));
  return fixture::embeddedText(before, text, tail);
}

void embed(Record& r, Random& random, int prefix, const char* word, const std::string& text) {
  r.subString = embedded(random, static_cast<size_t>(prefix), text);
  r.textAt = prefix;
  r.planted.push_back({word, text});
}

Record makeRecord(Random& random, Kind kind) {
  Record r{};
  r.kind = kind;
  r.id = static_cast<uint16_t>(random.next());
  r.unkown = static_cast<uint16_t>(random.next());
  switch (kind) {
    case Kind::Group:
      r.type1 = 9, r.type2 = 6;
      r.title = "Group " + std::to_string(random.below(100));
      r.subString = random.bytes(static_cast<size_t>(random.between(0, 12)));
      r.planted.push_back({"group", r.title});
      break;
    case Kind::Speech:
      r.type1 = 29, r.type2 = static_cast<uint8_t>(random.below(4));
      embed(r, random, 0, "speech", englishSentence(random));
      break;
    case Kind::Object:
      r.type1 = random.chance(50) ? 23 : 37, r.type2 = static_cast<uint8_t>(random.below(8));
      r.title = std::string("Old ") + pick(random, kEnglish);
      r.subString = random.bytes(static_cast<size_t>(random.between(0, 16)));
      r.planted.push_back({"object", r.title});
      break;
    case Kind::Text:
      r.type1 = 13, r.type2 = static_cast<uint8_t>(random.below(4));
      embed(r, random, 66, "text", englishSentence(random));
      break;
    case Kind::Person:
      r.type1 = 21, r.type2 = 5;
      r.title = std::string("Captain ") + pick(random, kEnglish);
      r.subString = random.bytes(static_cast<size_t>(random.between(0, 16)));
      r.planted.push_back({"person", r.title});
      break;
    case Kind::NamedOther:
      r.type1 = 21, r.type2 = 4;
      r.title = "Marker";
      r.subString = random.bytes(static_cast<size_t>(random.between(0, 8)));
      r.planted.push_back({"object", r.title});
      break;
    case Kind::Six:
      r.type1 = 3, r.type2 = static_cast<uint8_t>(random.below(4));
      r.subString = random.bytes(static_cast<size_t>(random.between(0, 24)));
      break;
    case Kind::Seven:
      r.type1 = random.chance(50) ? 9 : 40, r.type2 = 7;
      r.subString = random.bytes(static_cast<size_t>(random.between(0, 24)));
      break;
    case Kind::Text2:
      r.type1 = 50, r.type2 = 2;
      embed(r, random, 102, "text2", englishSentence(random));
      break;
  }
  return r;
}

// ---- the shapes a real game has beyond the plain ones

constexpr int kLayouts[] = {0, 66, 102};

// So that no bytes read as a text by chance, the length field of every
// layout but the record's own gets its top bit set: no subString of the
// sample is long enough for such a length. A field inside the text needs
// nothing, its printable bytes make a length far too long already.
void closeOtherLayouts(Record& r) {
  size_t textEnd = 0;
  if (r.textAt >= 0) {
    const size_t at = static_cast<size_t>(r.textAt);
    textEnd = at + 2 + (static_cast<uint8_t>(r.subString[at]) | static_cast<uint8_t>(r.subString[at + 1]) << 8);
  }
  for (int prefix : kLayouts) {
    if (prefix == r.textAt) continue;
    const size_t high = static_cast<size_t>(prefix) + 1;
    if (high >= r.subString.size()) continue;
    if (r.textAt >= 0 && high >= static_cast<size_t>(r.textAt) + 2 && high < textEnd) continue;
    r.subString[high] = static_cast<char>(r.subString[high] | 0x80);
  }
}

std::string plantedText(const Record& r, const std::string& word) {
  for (const auto& [w, text] : r.planted) {
    if (w == word) return text;
  }
  return "";
}

void dropPlanted(Record& r, const std::string& word) {
  std::erase_if(r.planted, [&](const auto& p) { return p.first == word; });
}

void giveTitle(Record& r, Random& random) {
  r.title = std::string(random.chance(50) ? "Narrator " : "Sign ") + pick(random, kEnglish);
  r.planted.insert(r.planted.begin(), {"object", r.title});
}

// Type 13 records keeping their text where text2 records do, objects,
// persons and groups carrying a speech or text beside their title, titled
// speeches and texts, and speeches of two lines.
void reshape(std::vector<Record>& records, Random& random) {
  for (Record& r : records) {
    switch (r.kind) {
      case Kind::Text:
        if (random.chance(35)) {
          const std::string text = plantedText(r, "text");
          dropPlanted(r, "text");
          embed(r, random, 102, "text2", text);
        } else if (random.chance(15)) {
          giveTitle(r, random);
        }
        break;
      case Kind::Speech:
        if (random.chance(10)) {
          const std::string text = plantedText(r, "speech") + "\n" + englishSentence(random);
          dropPlanted(r, "speech");
          embed(r, random, 0, "speech", text);
        }
        if (random.chance(15)) giveTitle(r, random);
        break;
      case Kind::Group:
      case Kind::Object:
      case Kind::Person:
        if (random.chance(30)) {
          const bool speech = random.chance(50);
          embed(r, random, speech ? 0 : 66, speech ? "speech" : "text", englishSentence(random));
        }
        break;
      default:
        break;
    }
    closeOtherLayouts(r);
  }
}

// Two records whose bytes read as a text at 0 and at 66 at once, the text
// at 0 ending on the first byte of the other's length: a type 13 record,
// whose type says which is its text, and a group, whose type says neither.
void plantOverlaps(Record& text, Record& group, Random& random) {
  std::string body;
  while (body.size() < 65) body += englishSentence(random) + " ";
  body.resize(65);
  std::string bytes = fixture::embeddedText("", std::string(64, 'a') + static_cast<char>(65), "");
  bytes += '\0';  // the high byte of the length at 66: 65
  bytes += body + random.bytes(4);
  for (Record* r : {&text, &group}) {
    r->subString = bytes;
    r->planted.clear();
    r->textAt = -1;
  }
  text.kind = Kind::Text, text.type1 = 13, text.type2 = 1, text.title.clear();
  text.planted.push_back({"text", body});
  group.kind = Kind::Group, group.type1 = 9, group.type2 = 6, group.title = "Crowd";
  group.planted.push_back({"group", group.title});
}

// A word of the text exchanged for another: the first one, for a word that
// is not it.
std::string editedWord(const std::string& text, Random& random) {
  const size_t end = text.find_first_of(" .?\n");
  const std::string first = text.substr(0, end);
  std::string other = first;
  while (equalsIgnoreCase(other, first)) other = pick(random, kEnglish);
  other[0] = static_cast<char>(other[0] - 'a' + 'A');
  return other + text.substr(end);
}

constexpr Kind kAllKinds[] = {Kind::Group, Kind::Speech, Kind::Object,     Kind::Text, Kind::Person,
                              Kind::NamedOther, Kind::Six,  Kind::Seven, Kind::Text2};

// A tree in pre-order: every record hangs below one on the path from the root
// to the record before it, so the list is a valid depth-first order.
std::vector<Record> makeTree(Random& random, int count) {
  std::vector<Record> records;
  records.push_back(makeRecord(random, Kind::Seven));
  records[0].parent = -1;
  std::vector<int> path = {0};
  for (int i = 1; i < count; ++i) {
    // The first records cycle through every kind, so that each file has all.
    const Kind kind = i <= 9 ? kAllKinds[i - 1] : kAllKinds[random.below(9)];
    Record r = makeRecord(random, kind);
    while (path.size() > 1 && random.chance(35)) path.pop_back();
    r.parent = path.back();
    records[static_cast<size_t>(r.parent)].children++;
    records.push_back(std::move(r));
    if (path.size() < 6) path.push_back(i);
  }
  return records;
}

std::string recordFileBytes(const std::vector<Record>& records) {
  std::vector<fixture::Record> stored;
  stored.reserve(records.size());
  for (const Record& r : records) {
    stored.push_back({r.type1, r.type2, r.id, r.title, r.subString, static_cast<uint16_t>(r.children), r.unkown});
  }
  return fixture::recordFile(stored);
}

using Member = fixture::ArchiveMember;

std::string archiveBytes(Random& random, const std::vector<Member>& members) {
  return fixture::archive(members, random.below(1000));
}

// A scene picture as the game keeps it, in XMG: a sky, rolling hills and a
// cut-out in the mask colour where the game would show something else. Odd
// sizes come up too, so that the codec's outside pixels are exercised.
std::string scenePicture(Random& random, bool large) {
  const int width = large ? random.between(320, 640) : random.between(40, 97);
  const int height = large ? random.between(240, 480) : random.between(30, 73);
  const int hill = random.between(height / 3, height * 2 / 3);
  const int period = std::max(8, width / random.between(2, 6));
  const int cutX = random.below(width / 2), cutY = random.below(height / 2);
  const int cutW = random.between(4, width / 2), cutH = random.between(4, height / 2);
  PixelMap picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int phase = x % period;
      const int ground = hill - std::min(phase, period - phase) / 2;
      uint32_t colour = 0;
      if (x >= cutX && x < cutX + cutW && y >= cutY && y < cutY + cutH) {
        colour = packARGBValue(255, 0, 255, 255);  // the mask colour
      } else if (y < ground) {
        colour = packARGBValue(255, static_cast<uint8_t>(60 + y * 100 / height), static_cast<uint8_t>(110 + y * 80 / height), 230);
      } else {
        colour = packARGBValue(255, 40, static_cast<uint8_t>(100 + (x * 7 + y * 3) % 60), 40);
      }
      picture.setPixel(x, y, colour);
    }
  }
  auto bytes = std::make_shared<ByteBuffer>();
  BufferStream out(bytes);
  tXMGEncoder().saveXMG(picture, out);
  return bytes->toString();
}

size_t opaqueSize(Random& random, bool large) {
  if (!large) return static_cast<size_t>(random.between(8, 120)) * 1024;
  // Mostly tens of kilobytes, now and then a few megabytes, like a real game.
  if (random.chance(3)) return static_cast<size_t>(random.between(2, 8)) * 1024 * 1024;
  return static_cast<size_t>(random.between(10, 90)) * 1024;
}

struct Scene {
  std::string name;
  std::vector<int> subIds;
};

std::string prefixFor(const std::string& scene) { return scene.size() > 6 ? "static/" : ""; }

std::string twoDigits(int n) {
  std::string s = std::to_string(n);
  return s.size() < 2 ? "0" + s : s;
}

std::string fourDigits(int n) {
  std::string s = std::to_string(n);
  while (s.size() < 4) s = "0" + s;
  return s;
}

std::string addressOf(const std::string& scene, int sub, size_t record) {
  return scene + twoDigits(sub) + fourDigits(static_cast<int>(record));
}

std::vector<Scene> makeScenes(Random& random, const SampleGameOptions& options) {
  std::vector<Scene> scenes;
  std::vector<std::string> names = {"Global"};
  size_t shortNext = 0, longNext = 0;
  for (int i = 1; static_cast<int>(names.size()) < options.scenes; ++i) {
    const bool wantLong = i % 2 == 0;
    if (wantLong && longNext < std::size(kLongScenes)) {
      names.push_back(kLongScenes[longNext++]);
    } else if (!wantLong && shortNext < std::size(kShortScenes)) {
      names.push_back(kShortScenes[shortNext++]);
    } else {
      names.push_back((wantLong ? "Passage" : "Room") + std::to_string(i));
    }
  }
  for (const std::string& name : names) {
    // Ascending ids with an occasional gap, as real index files have them.
    Scene scene{name, {}};
    int id = 0;
    for (int s = 0; s < options.subs; ++s) {
      id += random.chance(20) ? 2 : 1;
      scene.subIds.push_back(id);
    }
    scenes.push_back(std::move(scene));
  }
  return scenes;
}

const char* kindWord(Kind kind, Random& random) {
  switch (kind) {
    case Kind::Group: return random.chance(50) ? "group" : "speechgroup";
    case Kind::Speech: return "speech";
    case Kind::Object: return "object";
    case Kind::Text: return "text";
    case Kind::Person: return "person";
    case Kind::Text2: return "text2";
    default: return nullptr;
  }
}

// A plain game's translations break a line now and then; a game of every
// shape breaks them where the source does, as a PO tool demands.
std::string translationFor(bool embedded, int lineBreaks, Random& random) {
  if (embedded) {
    std::string text = chineseSentence(random);
    if (lineBreaks < 0 ? random.chance(25) : lineBreaks > 0) text += "<CR>" + chineseSentence(random, 4);
    for (int i = 1; i < lineBreaks; ++i) text += "<CR>" + chineseSentence(random, 4);
    return text;
  }
  return chineseSentence(random, 2);
}

// Whether the sample's translation writes an entry for a plain record. A
// text2 record's random prefix can happen to hold a length at 0 or 66 too;
// such a record was always left untranslated, so that the sample's bytes
// stay what they were.
bool wordFits(const Record& r) {
  if (r.kind != Kind::Text2) return true;
  const auto holds = [&](size_t prefix) {
    if (r.subString.size() < prefix + 2) return false;
    const size_t length = static_cast<uint8_t>(r.subString[prefix]) | static_cast<uint8_t>(r.subString[prefix + 1]) << 8;
    return prefix + 2 + length <= r.subString.size();
  };
  return !holds(0) && !holds(66);
}

// The words a sample entry may carry for the record and whether each is
// embedded text. A plain game translates a record's one text; a game of
// every shape, each text the record holds.
struct EntryWord {
  const char* word;
  bool embedded;
  int lineBreaks = -1;  // of the planted text; -1 for the plain game's
};

std::vector<EntryWord> entryWords(const Record& r, bool shapes, Random& random) {
  if (!shapes) {
    const char* word = kindWord(r.kind, random);
    if (!word) return {};
    return {{word, r.kind == Kind::Speech || r.kind == Kind::Text || r.kind == Kind::Text2}};
  }
  if (r.kind != Kind::Group && r.kind != Kind::Speech && r.kind != Kind::Object && r.kind != Kind::Text &&
      r.kind != Kind::Person && r.kind != Kind::Text2) {
    return {};
  }
  std::vector<EntryWord> words;
  for (const auto& [planted, text] : r.planted) {
    const bool embedded = planted == "speech" || planted == "text" || planted == "text2";
    const char* word = planted == "group" ? (random.chance(50) ? "group" : "speechgroup")
                       : planted == "speech"  ? "speech"
                       : planted == "text"    ? "text"
                       : planted == "text2"   ? "text2"
                       : planted == "person"  ? "person"
                                              : "object";
    words.push_back({word, embedded, static_cast<int>(std::count(text.begin(), text.end(), '\n'))});
  }
  return words;
}

}  // namespace

SampleGameSummary writeSampleGame(const std::string& out, const SampleGameOptions& options) {
  if (options.scenes < 1 || options.subs < 0 || options.subs > 44 || options.records < 10) {
    throw std::runtime_error("sample game: need at least 1 scene, 0 to 44 sub-scenes and 10 records");
  }
  Random random(options.seed);
  SampleGameSummary summary;
  const std::string game = out + "/game/";
  const std::string game2 = out + "/game2/";
  const std::string work = out + "/worktree/";
  for (const char* folder : {"", "data", "trans", "extra/docs", "addon"}) makeFolders(work + folder);
  makeFolders(game);
  // Version 2 has every file of version 1 but the archive it changes.
  const auto writeGame = [&](const std::string& relative, const std::string& bytes, bool alsoVersion2) {
    writeWhole(game + relative, bytes);
    if (options.secondVersion && alsoVersion2) {
      const size_t slash = relative.rfind('/');
      if (slash != std::string::npos) makeFolders(game2 + relative.substr(0, slash));
      writeWhole(game2 + relative, bytes);
    }
  };
  if (options.secondVersion) makeFolders(game2);

  // The file that marks a game folder.
  writeGame("x.xarc", archiveBytes(random, {{"x.xrc", recordFileBytes(makeTree(random, 12)), 0}}), true);

  const std::vector<Scene> scenes = makeScenes(random, options);
  int addonCount = 0;
  std::string addonOverride;  // one add-on replaces an entry of the TRZ tables
  for (size_t sceneIndex = 0; sceneIndex < scenes.size(); ++sceneIndex) {
    const Scene& scene = scenes[sceneIndex];
    const std::string prefix = prefixFor(scene.name);
    const bool crlf = sceneIndex % 2 == 0;
    const std::string eol = crlf ? "\r\n" : "\n";

    // The scene index: ids before "-sub-" and after "-records-" mean nothing.
    std::string index = "scene=" + scene.name + eol + "id=7" + eol + "-sub-" + eol;
    for (int id : scene.subIds) index += "id=" + std::to_string(id) + eol;
    index += "-records-" + eol + "id=55" + eol;
    writeWhole(work + "data/" + scene.name + ".orz", index);

    std::string trz = "# " + scene.name + ": translated text" + eol + "; entries end with >>" + eol + eol;
    std::vector<int> archiveIds = {99};
    archiveIds.insert(archiveIds.end(), scene.subIds.begin(), scene.subIds.end());
    struct Untranslated {
      std::string address;
      Kind kind;
      EntryWord word;
      bool fits;
    };
    std::vector<Untranslated> untranslated;  // for the add-ons
    int sceneEntries = 0;
    for (int sub : archiveIds) {
      const std::string folder = prefix + scene.name + "/" + (sub == 99 ? "" : std::to_string(sub) + "/");
      const std::string file = folder + (sub == 99 ? scene.name : std::to_string(sub)) + ".xarc";
      makeFolders(game + folder);
      const bool globalOwn = scene.name == "Global" && sub == 99;
      // The archive the second version changes, which holds the overlapping
      // layouts too.
      const bool changing = sceneIndex == 1 && sub == 99;
      int count = options.records + random.between(-options.records / 4, options.records / 4);
      if (globalOwn) count = 4300;
      std::vector<Record> records = makeTree(random, count);
      if (globalOwn) {
        // The heroine's name, which the installer writes in Chinese.
        Record& mirel = records[4243];
        mirel.type1 = 8, mirel.type2 = 1, mirel.kind = Kind::Seven;
        mirel.title = "Mirel";
        // Its embedded text, if the record was made with one, stays.
        std::erase_if(mirel.planted, [](const auto& p) { return p.first == "group" || p.first == "object" || p.first == "person"; });
        mirel.planted.insert(mirel.planted.begin(), {"object", mirel.title});
      }
      // The shapes come from a generator of their own, so that the plain
      // game's bytes do not depend on them.
      Random shaper(options.seed * 7919 + sceneIndex * 131 + static_cast<uint64_t>(sub));
      if (options.shapes) {
        reshape(records, shaper);
        if (changing) {
          plantOverlaps(records[5], records[6], shaper);
          summary.leftOut.push_back(addressOf(scene.name, sub, 6));
        }
      }
      std::vector<Member> members;
      members.push_back({"ambient.WAV", random.bytes(opaqueSize(random, options.large)), random.below(4)});
      if (random.chance(50)) members.push_back({"props.dat", random.bytes(opaqueSize(random, options.large) / 4), 0});
      const size_t recordMember = members.size();
      members.push_back({scene.name + ".xrc", recordFileBytes(records), 1});
      members.push_back({"walk.ANI", random.bytes(opaqueSize(random, options.large) / 2), random.below(4)});
      if (sub == 99) {
        // Pictures come from a generator of their own, so that adding them
        // left every other byte of the game as it was.
        Random painter(options.seed * 31 + sceneIndex);
        members.push_back({"scene.XMG", scenePicture(painter, options.large), 0});
        // A name in the archives' own encoding, GBK: 背景 (backdrop).
        if (options.shapes) members.push_back({"\xB1\xB3\xBE\xB0.XMG", scenePicture(painter, options.large), 0});
      }
      const int32_t xrcNo = random.below(1000);
      const std::string bytes = fixture::archive(members, xrcNo);
      writeGame(file, bytes, !changing);
      summary.archives++;
      summary.archiveBytes += static_cast<int64_t>(bytes.size());
      for (size_t i = 0; i < records.size(); ++i) {
        for (const auto& [word, text] : records[i].planted) {
          summary.texts.push_back({addressOf(scene.name, sub, i), word, text});
        }
      }

      std::vector<size_t> translatedSpeeches;
      for (size_t i = 0; i < records.size(); ++i) {
        const std::string address = scene.name + twoDigits(sub) + fourDigits(static_cast<int>(i));
        for (const EntryWord& word : entryWords(records[i], options.shapes, random)) {
          const bool fits = options.shapes || wordFits(records[i]);
          if (!random.chance(60)) {
            untranslated.push_back({address, records[i].kind, word, fits});
            continue;
          }
          const std::string value = translationFor(word.embedded, word.lineBreaks, random);
          const bool remark = random.chance(10);
          // Drawn all the same, so that the game's bytes do not depend on it.
          if (!fits) continue;
          if (remark) trz += "// checked" + eol;
          trz += "id=" + address + eol + "type=" + word.word + eol;
          trz += "length=" + std::to_string(value.size()) + eol + "value=" + value + eol + ">>" + eol;
          ++sceneEntries;
          if (addonOverride.empty() && records[i].kind == Kind::Speech) addonOverride = address;
          if (std::string(word.word) == "speech" && records[i].kind == Kind::Speech) translatedSpeeches.push_back(i);
        }
      }

      if (changing && options.secondVersion) {
        // Version 2: a speech inserted after record 3, as its first child,
        // and a word edited in a translated speech after it, so that the
        // edited record has moved as well.
        const auto edited = std::find_if(translatedSpeeches.begin(), translatedSpeeches.end(), [](size_t i) { return i > 8; });
        if (edited == translatedSpeeches.end()) throw std::runtime_error("sample game: no speech to edit");
        std::vector<Record> next = records;
        Record& changed = next[*edited];
        const std::string before = plantedText(changed, "speech");
        const std::string after = editedWord(before, shaper);
        const std::string tail = changed.subString.substr(2 + before.size());
        changed.subString = fixture::embeddedText("", after, tail);
        Record inserted = makeRecord(shaper, Kind::Speech);
        if (options.shapes) closeOtherLayouts(inserted);
        inserted.parent = 3;
        next[3].children++;
        next.insert(next.begin() + 4, std::move(inserted));
        std::vector<Member> changedMembers = members;
        changedMembers[recordMember].data = recordFileBytes(next);
        makeFolders(game2 + folder);
        writeWhole(game2 + file, fixture::archive(changedMembers, xrcNo));
        summary.update = {file,
                          addressOf(scene.name, sub, 4),
                          addressOf(scene.name, sub, *edited),
                          addressOf(scene.name, sub, *edited + 1),
                          before,
                          after};
      }
    }
    // One scene carries no translation file at all; one is named in capitals.
    if (sceneIndex == 3) continue;
    summary.translationEntries += sceneEntries;
    const std::string trzName = sceneIndex == 2 ? scene.name + ".TRZ" : scene.name + ".trz";
    writeWhole(work + "trans/" + trzName, trz);

    // Add-on entries for records the table leaves alone, in both forms.
    for (size_t k = 0; k < untranslated.size() && k < 2; ++k) {
      const Untranslated& u = untranslated[k];
      const char* word = options.shapes ? u.word.word : kindWord(u.kind, random);
      std::string addon = "id=" + u.address + "\ntype=" + word + "\n";
      if (u.word.embedded && k == 0) {
        addon += "value::\n" + chineseSentence(random, 4) + "\n" + chineseSentence(random, 4) + "\n";
      } else {
        addon += "value=" + chineseSentence(random, 2) + "\n";
      }
      if (!u.fits) continue;
      writeWhole(work + "addon/a" + fourDigits(++addonCount) + ".txt", addon);
      summary.addonEntries++;
    }
  }
  if (!addonOverride.empty()) {
    writeWhole(work + "addon/override.txt",
               "id=" + addonOverride + "\ntype=speech\nvalue=" + std::string(kChinese[0]) + std::string(kChinese[3]) + "\n");
    summary.addonEntries++;
  }

  writeWhole(work + "trans/notes.txt", "Not a translation file: the builder leaves it out.\n");
  writeWhole(work + "data/readme.txt", "scene=NotAScene\r\n");
  writeWhole(work + "extra/readme_cn.txt", chineseSentence(random) + "\r\n");
  writeWhole(work + "extra/font.cfg", "face=simsun\nsize=12\n");
  writeWhole(work + "extra/docs/manual.txt", "Inside a subfolder: named in the list, never packed.\n");
  return summary;
}

}  // namespace vh
