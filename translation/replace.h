// Record replacement: putting a translation entry's text into a record.
//
// The entry's kind alone decides what changes (the record's own type bytes
// are not consulted):
//
//   group, speechgroup (1), object (3), person (5)   title
//   speech (2), text (4), text2 (100)                text embedded in subString
//   anything else                                    nothing
//
// Embedded text sits in subString after a fixed prefix of P bytes as a
// 16-bit length L and L bytes of text (embedded_text.h); whatever follows is
// the tail. Prefix and tail are copied byte for byte, and the stored lengths
// are updated with the text.
//
// An entry that would make a length disagree with its text is skipped and
// the record left as it was: a text that does not fit the 16-bit lengths, a
// subString too short for its prefix, or a stored L that runs past the end
// of subString. tTransRecord::doReplace reports each skip in the debug log.
//
// applyTrz and tTransRecord::doReplace are defined in replace.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vh {

class Reporter;
class tRecordData;
class tTrz;
class tXRC;

// The longest text the 16-bit lengths can describe.
inline constexpr size_t kMaxRecordText = 0xFFFF;

enum class ReplaceResult {
  Replaced,
  NothingForKind,     // the kind changes nothing
  ValueTooLong,       // more than kMaxRecordText bytes
  SubStringTooShort,  // shorter than P + 2
  TextPastEnd,        // P + 2 + L reaches past the end of subString
};

// A short English description of a result, for the debug log.
const char* describe(ReplaceResult result);

// True for the kinds whose text is the record's title.
bool isTitleKind(int32_t typeId);
// P for the kinds that embed their text in subString; nothing for the others.
std::optional<size_t> embeddedTextPrefix(int32_t typeId);

// title = value, titleLength = its length.
[[nodiscard]] ReplaceResult replaceTitle(tRecordData& data, const std::string& value);
// The embedded text at prefix P becomes value; subStringLength follows.
[[nodiscard]] ReplaceResult replaceEmbeddedText(tRecordData& data, size_t prefix, const std::string& value);
// Either of the two by kind, or NothingForKind.
[[nodiscard]] ReplaceResult replaceByKind(tRecordData& data, int32_t typeId, const std::string& value);

// Puts the entries of `trz` meant for the record file's sub-scene into its
// records, in table order (the last one for a record wins). The record file
// knows nothing of translations: this is the one place the two meet, so the
// formats never depend on the translation data. Entries that cannot be
// written are skipped with a line in `report`'s debug log. Returns 0.
int applyTrz(tXRC& xrc, const tTrz& trz, Reporter& report);

}  // namespace vh
