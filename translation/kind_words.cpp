#include "translation/kind_words.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "formats/xrc.h"
#include "translation/embedded_text.h"
#include "translation/gbk.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh {

namespace {

constexpr size_t kPrefixes[] = {kSpeechTextPrefix, kTextPrefix, kText2Prefix};
// Outside the layout its type suggests, a record's bytes are taken for a
// text only from two characters on: a single printable byte behind a
// length of 1 is too easily chance.
constexpr size_t kMinForeignTextCharacters = 2;

enum class Reading { Absent, Empty, NotText, Text };

// One embedded layout as it reads in a subString.
struct Layout {
  size_t prefix = 0;
  Reading reading = Reading::Absent;
  std::string_view text;
  size_t end = 0;  // past its length field and its text
};

std::optional<size_t> suggestedPrefix(const tRecordData& data) {
  switch (data.getType()) {
    case 2: return kSpeechTextPrefix;
    case 4: return kTextPrefix;
    case 7: return kText2Prefix;
    default: return std::nullopt;
  }
}

Layout readLayout(const std::string& subString, size_t prefix, bool suggested) {
  Layout layout;
  layout.prefix = prefix;
  const auto text = embeddedText(subString, prefix);
  if (!text) return layout;
  layout.text = *text;
  layout.end = prefix + kTextLengthSize + text->size();
  if (text->empty()) {
    layout.reading = Reading::Empty;
    return layout;
  }
  const auto characters = gbkTextLength(*text);
  const size_t needed = suggested ? 1 : kMinForeignTextCharacters;
  layout.reading = characters && *characters >= needed ? Reading::Text : Reading::NotText;
  return layout;
}

bool overlap(const Layout& a, const Layout& b) {
  const Layout& first = a.prefix < b.prefix ? a : b;
  const Layout& second = a.prefix < b.prefix ? b : a;
  return first.end > second.prefix;
}

int32_t kindAt(size_t prefix) {
  return prefix == kSpeechTextPrefix ? kKindSpeech : prefix == kTextPrefix ? kKindText : kKindText2;
}

int32_t titleKind(const tRecordData& data) {
  switch (data.getType()) {
    case 1: return kKindGroup;
    case 5: return kKindPerson;
    default: return kKindObject;
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

std::string quoted(const char* word) { return std::string("\"") + word + "\""; }

}  // namespace

const char* titleWord(const tRecordData& data) { return exportWord(titleKind(data)); }

RecordSurvey surveyRecord(const tRecordData& data) {
  RecordSurvey survey;
  if (!data.title.empty()) survey.texts.push_back({titleKind(data), titleWord(data), data.title});

  const std::optional<size_t> suggested = suggestedPrefix(data);
  std::vector<Layout> found;
  Layout own;
  for (size_t prefix : kPrefixes) {
    const Layout layout = readLayout(data.subString, prefix, suggested == prefix);
    if (layout.reading == Reading::Text) found.push_back(layout);
    if (suggested == prefix) own = layout;
  }
  std::vector<Layout> chosen;
  if (found.empty()) {
    // The type's own layout whose bytes are no plain text is still its
    // text: offered, for export to judge its bytes and say why it cannot go.
    if (own.reading == Reading::NotText) chosen.push_back(own);
  } else {
    std::string overlapping;
    for (const Layout& layout : found) {
      const bool alone = std::none_of(found.begin(), found.end(), [&](const Layout& other) {
        return other.prefix != layout.prefix && overlap(layout, other);
      });
      if (alone || suggested == layout.prefix) {
        chosen.push_back(layout);
      }
      if (!alone) overlapping += (overlapping.empty() ? "" : " and ") + std::to_string(layout.prefix);
    }
    if (!overlapping.empty()) {
      const bool ownChosen = std::any_of(chosen.begin(), chosen.end(), [&](const Layout& l) { return suggested == l.prefix; });
      if (ownChosen) {
        survey.warning = "texts read at bytes " + overlapping + " overlap: offered the one at " +
                         std::to_string(*suggested) + " as " + quoted(exportWord(kindAt(*suggested))) +
                         ", the layout the record's type suggests";
      } else {
        survey.leftOut = true;
        survey.warning = "texts read at bytes " + overlapping +
                         " overlap, and the record's type suggests none of them: no kind word fits, left out";
      }
    }
  }
  std::sort(chosen.begin(), chosen.end(), [](const Layout& a, const Layout& b) { return a.prefix > b.prefix; });
  for (const Layout& layout : chosen) {
    const int32_t kind = kindAt(layout.prefix);
    survey.texts.push_back({kind, exportWord(kind), std::string(layout.text)});
  }
  return survey;
}

std::vector<RecordText> recordTexts(const tRecordData& data) { return surveyRecord(data).texts; }

KindJudgement judgeKind(const tRecordData& data, int32_t typeId) {
  if (isTitleKind(typeId)) {
    if (data.title.empty()) return {KindFit::Harmful, "it has no title, so the translation would show nowhere"};
    if (typeId == titleKind(data)) return {KindFit::Fits, ""};
    return {KindFit::Note, std::string("it rewrites the title, which export calls ") + quoted(titleWord(data))};
  }
  const std::optional<size_t> prefix = embeddedTextPrefix(typeId);
  if (!prefix) return {KindFit::DoesNothing, ""};
  const bool suggested = suggestedPrefix(data) == *prefix;
  const Layout layout = readLayout(data.subString, *prefix, suggested);
  const std::string at = "at byte " + std::to_string(*prefix);
  if (layout.reading == Reading::Absent) {
    return {KindFit::Skipped, "it holds no text " + at + ", so the installer skips the entry"};
  }
  const RecordSurvey survey = surveyRecord(data);
  for (const RecordText& text : survey.texts) {
    if (text.typeId == typeId) return {KindFit::Fits, ""};
  }
  if (layout.reading == Reading::Text) {
    return {KindFit::Note, "its text " + at + " overlaps another reading of its bytes (" + survey.warning + ")"};
  }
  if (suggested && layout.reading == Reading::Empty) return {KindFit::Fits, ""};
  return {KindFit::Harmful, "it would rewrite bytes " + at + " that are not its text"};
}

std::string recordAddress(const std::string& scene, int subId, size_t recordIndex) {
  std::string sub = std::to_string(subId);
  if (sub.size() < 2) sub = "0" + sub;
  std::string record = std::to_string(recordIndex);
  while (record.size() < 4) record = "0" + record;
  return scene + sub + record;
}

}  // namespace vh
