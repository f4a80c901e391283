// Which texts a record holds, and which TRZ kind word fits which of them.
//
// An entry's kind word alone decides what the installer rewrites; it never
// looks at the record. So what a record offers a translator, and whether a
// word fits, are questions of the record's bytes:
//
//   the title        any record whose title is not empty: "group" (9/6),
//                    "person" (21/5), "object" for every other record
//   text at 0        "speech"      the layout type 29 records use
//   text at 66       "text"        the layout type 13 records use
//   text at 102      "text2"       the layout of other kind-7 records
//
// An embedded layout holds a text when its 16-bit length fits the
// subString and its bytes are GBK text of printable characters or line
// breaks, at least two characters long; in the layout the record's type
// suggests, one character will do. So a type 13 record may keep its text at
// 102, and an object may carry a speech beside its title. Where two layouts
// read as text over overlapping bytes, only one of them can be the text:
// the record's type decides, and when it suggests neither, the record's
// embedded text is left out, with a warning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vh {

class tRecordData;

// One text of a record that a translation entry can rewrite.
struct RecordText {
  int32_t typeId;    // the kind code of the word
  const char* word;  // the kind word an exported entry carries
  std::string text;  // as the game stores it
};

// What a record offers, and what it holds that looks like text but is not
// offered (or was chosen over another reading).
struct RecordSurvey {
  // Title first, then embedded texts from the highest prefix down: applied
  // in this order, a rewritten text never moves one still to come.
  std::vector<RecordText> texts;
  bool leftOut = false;  // text-like bytes that fit no kind word
  std::string warning;   // why, or which reading was chosen; "" when plain
};

RecordSurvey surveyRecord(const tRecordData& data);
// surveyRecord(data).texts.
std::vector<RecordText> recordTexts(const tRecordData& data);

// The kind word export gives the record's title ("group", "person" or
// "object"), whether or not the title is empty.
const char* titleWord(const tRecordData& data);

enum class KindFit {
  Fits,        // the word rewrites a text the record holds, as export offers it
  Note,        // it rewrites a text, but not as export offers it
  Harmful,     // it rewrites bytes that are not the record's text
  Skipped,     // its layout does not hold in the record: the installer skips it
  DoesNothing  // a word the installer does not know, or no word at all
};

struct KindJudgement {
  KindFit fit = KindFit::DoesNothing;
  std::string why;  // for what is not Fits nor DoesNothing: what happens instead
};

// How an entry with kind code `typeId` (as tTransRecord::setType gives it)
// meets this record.
KindJudgement judgeKind(const tRecordData& data, int32_t typeId);
inline KindFit kindFit(const tRecordData& data, int32_t typeId) { return judgeKind(data, typeId).fit; }

// The address a translation entry names a record by: the scene, the
// sub-scene in two digits and the record's pre-order position in four.
std::string recordAddress(const std::string& scene, int subId, size_t recordIndex);
// What the address form can hold.
inline constexpr int kMaxAddressSub = 99;
inline constexpr size_t kMaxAddressRecords = 10'000;

}  // namespace vh
