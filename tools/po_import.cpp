#include "tools/po_import.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "tools/po_file.h"
#include "translation/embedded_text.h"
#include "translation/gbk.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh::tool {

namespace {

int placeOrder(int32_t typeId) {
  if (isTitleKind(typeId)) return 0;
  return 1 + static_cast<int>(kText2Prefix - embeddedTextPrefix(typeId).value_or(kText2Prefix));
}

}  // namespace

PoImporter::PoImporter(std::string game, std::function<void(const std::string&)> report)
    : game_(std::move(game)), report_(std::move(report)) {}

void PoImporter::read(const std::string& path) {
  std::vector<std::string> messages;
  const auto catalog = readPoFile(path, messages);
  for (const std::string& m : messages) report_(m);
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

void PoImporter::problem(const std::string& text) {
  report_(text);
  ++problems_;
}

void PoImporter::message(const std::string& path, const PoMessage& m) {
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
  // The TRZ reader turns every "<CR>" of a value into a line break; the
  // text itself has no way to stand there.
  if (gbk->find("<CR>") != std::string::npos) {
    return problem(at + ": the text <CR> cannot stand in a TRZ value, which reads it as a line break");
  }
  if (gbk->size() > kMaxRecordText) {
    return problem(at + ": the translation's " + std::to_string(gbk->size()) +
                   " bytes in GBK do not fit its 16-bit length field (at most 65535)");
  }
  const auto [found, fresh] = entries.try_emplace({key->sub, key->record, key->typeId}, ImportEntry{*key, *gbk, at});
  if (!fresh) {
    return problem(at + ": a second translation of " + named + " (the first at " + found->second.place +
                   "): only one can install");
  }
}

// The game's texts of a scene are read once, by record and kind.
const std::string* PoImporter::gameText(const MessageKey& key) {
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

std::string trzText(const SceneEntries& entries) {
  std::vector<const ImportEntry*> ordered;
  for (const auto& [key, entry] : entries) ordered.push_back(&entry);
  std::stable_sort(ordered.begin(), ordered.end(), [](const ImportEntry* a, const ImportEntry* b) {
    return std::tuple(a->key.sub, a->key.record, placeOrder(a->key.typeId)) <
           std::tuple(b->key.sub, b->key.record, placeOrder(b->key.typeId));
  });
  std::string trz;
  for (const ImportEntry* e : ordered) {
    std::string escaped;
    for (char c : e->gbk) escaped += c == '\n' ? std::string("<CR>") : std::string(1, c);
    trz += "id=" + e->key.address + "\r\ntype=" + e->key.word + "\r\nlength=" + std::to_string(e->gbk.size()) +
           "\r\nvalue=" + escaped + "\r\n>>\r\n";
  }
  return trz;
}

}  // namespace vh::tool
