// Which TRZ kind word fits which record.
//
// An entry's kind word alone decides what the installer rewrites; it never
// looks at the record. So whether a word fits is a question of the record:
//
//   record kind   holds its text             the word written   other words
//   1  (9/6)      in the title                group              speechgroup fits too
//   3  (23, 37)   in the title                object             harmful
//   5  (21/5)     in the title                person             harmful
//   2  (29)       embedded at 0               speech             harmful
//   4  (13)       embedded at 66              text               harmful
//   7             embedded at 102 only        text2              harmful
//   0, 6, 7       in a title they carry       object             another title word: a note
//
// A speech or text record whose embedded layout does not hold together has
// no text to translate. A kind-7 record counts as text2 only when its text
// at 102 cannot be read at 0 or 66 as well, where random bytes could pose as
// a text.
#pragma once

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

// The texts of a record, title first, leaving out empty ones.
std::vector<RecordText> recordTexts(const tRecordData& data);

enum class KindFit {
  Fits,        // the word rewrites the text the record holds
  Note,        // it rewrites the same title under another word
  Harmful,     // it rewrites bytes that are not the record's text
  DoesNothing  // a word the installer does not know, or no word at all
};

// How an entry with kind code `typeId` (as tTransRecord::setType gives it)
// meets this record.
KindFit kindFit(const tRecordData& data, int32_t typeId);

// The address a translation entry names a record by: the scene, the
// sub-scene in two digits and the record's pre-order position in four.
std::string recordAddress(const std::string& scene, int subId, size_t recordIndex);
// What the address form can hold.
inline constexpr int kMaxAddressSub = 99;
inline constexpr size_t kMaxAddressRecords = 10'000;

}  // namespace vh
