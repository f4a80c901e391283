#include "translation/kind_words.h"

#include "formats/xrc.h"
#include "translation/embedded_text.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh {

namespace {

bool layoutHolds(const std::string& subString, size_t prefix) { return embeddedText(subString, prefix).has_value(); }

// The embedded kind the record's text belongs to, or kKindNone.
int32_t embeddedKind(const tRecordData& data) {
  switch (data.getType()) {
    case 2: return layoutHolds(data.subString, kSpeechTextPrefix) ? kKindSpeech : kKindNone;
    case 4: return layoutHolds(data.subString, kTextPrefix) ? kKindText : kKindNone;
    case 7:
      return layoutHolds(data.subString, kText2Prefix) && !layoutHolds(data.subString, kSpeechTextPrefix) &&
                     !layoutHolds(data.subString, kTextPrefix)
                 ? kKindText2
                 : kKindNone;
    default: return kKindNone;
  }
}

// The kind whose word names the record's title, or kKindNone.
int32_t titleKind(const tRecordData& data) {
  switch (data.getType()) {
    case 1: return kKindGroup;
    case 3: return kKindObject;
    case 5: return kKindPerson;
    case 0:
    case 6:
    case 7: return data.title.empty() ? kKindNone : kKindObject;
    default: return kKindNone;
  }
}

const char* exportWord(int32_t typeId) {
  switch (typeId) {
    case kKindGroup: return "group";
    case kKindSpeech: return "speech";
    case kKindObject: return "object";
    case kKindText: return "text";
    case kKindPerson: return "person";
    case kKindText2: return "text2";
    default: return "";
  }
}

}  // namespace

std::vector<RecordText> recordTexts(const tRecordData& data) {
  std::vector<RecordText> texts;
  if (const int32_t kind = titleKind(data); kind != kKindNone && !data.title.empty()) {
    texts.push_back({kind, exportWord(kind), data.title});
  }
  if (const int32_t kind = embeddedKind(data); kind != kKindNone) {
    const std::string_view text = *embeddedText(data.subString, *embeddedTextPrefix(kind));
    if (!text.empty()) texts.push_back({kind, exportWord(kind), std::string(text)});
  }
  return texts;
}

KindFit kindFit(const tRecordData& data, int32_t typeId) {
  if (!isTitleKind(typeId) && !embeddedTextPrefix(typeId)) return KindFit::DoesNothing;
  if (typeId == embeddedKind(data)) return KindFit::Fits;
  const int32_t title = titleKind(data);
  if (title == kKindNone || !isTitleKind(typeId)) return KindFit::Harmful;
  if (typeId == title) return KindFit::Fits;
  // Every title word writes the same title; only the game's own title kinds
  // are particular about theirs.
  return data.getType() == 0 || data.getType() == 6 || data.getType() == 7 ? KindFit::Note : KindFit::Harmful;
}

std::string recordAddress(const std::string& scene, int subId, size_t recordIndex) {
  std::string sub = std::to_string(subId);
  if (sub.size() < 2) sub = "0" + sub;
  std::string record = std::to_string(recordIndex);
  while (record.size() < 4) record = "0" + record;
  return scene + sub + record;
}

}  // namespace vh
