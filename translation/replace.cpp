#include "translation/replace.h"

#include <limits>
#include <vector>

#include "common/little_endian.h"
#include "common/report.h"
#include "formats/xrc.h"
#include "translation/embedded_text.h"
#include "translation/trz.h"

namespace vh {

namespace {

std::string describeEntry(const tTransRecord& entry) {
  return "translation entry " + entry.scnId + " sub-scene " + std::to_string(entry.subId) + " record " +
         std::to_string(entry.recId);
}

}  // namespace

const char* describe(ReplaceResult result) {
  switch (result) {
    case ReplaceResult::Replaced:
      return "replaced";
    case ReplaceResult::NothingForKind:
      return "its kind changes nothing";
    case ReplaceResult::ValueTooLong:
      return "its value is longer than the 16-bit text lengths allow";
    case ReplaceResult::SubStringTooShort:
      return "the record's subString is too short to hold an embedded text";
    case ReplaceResult::TextPastEnd:
      return "the record's embedded text length reaches past the end of its subString";
  }
  return "";
}

bool isTitleKind(int32_t typeId) { return typeId == kKindGroup || typeId == kKindObject || typeId == kKindPerson; }

std::optional<size_t> embeddedTextPrefix(int32_t typeId) {
  switch (typeId) {
    case kKindSpeech:
      return kSpeechTextPrefix;
    case kKindText:
      return kTextPrefix;
    case kKindText2:
      return kText2Prefix;
    default:
      return std::nullopt;
  }
}

ReplaceResult replaceTitle(tRecordData& data, const std::string& value) {
  if (value.size() > kMaxRecordText) return ReplaceResult::ValueTooLong;
  data.title = value;
  data.titleLength = static_cast<uint16_t>(value.size());
  return ReplaceResult::Replaced;
}

ReplaceResult replaceEmbeddedText(tRecordData& data, size_t prefix, const std::string& value) {
  if (value.size() > kMaxRecordText) return ReplaceResult::ValueTooLong;
  const std::string& old = data.subString;
  if (old.size() < prefix + kTextLengthSize) return ReplaceResult::SubStringTooShort;
  const std::optional<std::string_view> oldText = embeddedText(old, prefix);
  if (!oldText) return ReplaceResult::TextPastEnd;
  const size_t tailStart = prefix + kTextLengthSize + oldText->size();
  const size_t newSize = old.size() - oldText->size() + value.size();
  if (newSize > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return ReplaceResult::ValueTooLong;

  std::string updated;
  updated.reserve(newSize);
  updated.append(old, 0, prefix);
  appendLE16(updated, static_cast<uint16_t>(value.size()));
  updated.append(value);
  updated.append(old, tailStart, std::string::npos);
  data.subString = std::move(updated);
  data.subStringLength = static_cast<int32_t>(data.subString.size());
  return ReplaceResult::Replaced;
}

ReplaceResult replaceByKind(tRecordData& data, int32_t typeId, const std::string& value) {
  if (isTitleKind(typeId)) return replaceTitle(data, value);
  if (const std::optional<size_t> prefix = embeddedTextPrefix(typeId)) {
    return replaceEmbeddedText(data, *prefix, value);
  }
  return ReplaceResult::NothingForKind;
}

int tTransRecord::doReplace(tRecordData& data, Reporter& report) const {
  // A value too long to write was never held: only its length says so.
  const bool changesText = isTitleKind(typeId) || embeddedTextPrefix(typeId).has_value();
  const ReplaceResult result = !changesText       ? ReplaceResult::NothingForKind
                               : overlongValue > 0 ? ReplaceResult::ValueTooLong
                                                   : replaceByKind(data, typeId, value);
  if (result != ReplaceResult::Replaced && result != ReplaceResult::NothingForKind) {
    report.debugLog(describeEntry(*this) + " skipped: " + describe(result));
  }
  return 0;
}

int applyTrz(tXRC& xrc, const tTrz& trz, Reporter& report) {
  const std::vector<tRecordPtr> array = xrc.getRecordArray();
  for (const tTransRecord& entry : trz.records) {
    if (entry.subId != xrc.subId) continue;
    if (entry.recId < 0 || static_cast<size_t>(entry.recId) >= array.size()) {
      report.debugLog(describeEntry(entry) + " skipped: " + xrc.name + " has " + std::to_string(array.size()) +
                      " records");
      continue;
    }
    entry.doReplace(array[static_cast<size_t>(entry.recId)]->data, report);
  }
  return 0;
}

}  // namespace vh
