// Translations carried from one version of the game to the next.
//
// An address is a record's position, so a record inserted into a record
// file moves every record after it to another address, and a translation
// kept at its old address would land on another text. A translation here
// goes only where its own source text still stands:
//
// - Within each archive and kind, the old and the new texts are lined up
//   as a line diff lines up two files (Myers' shortest edit script); a
//   translated text that lines up with the same text keeps its
//   translation, wherever that text now stands.
// - A translation left over moves to the one record of the same archive and
//   kind that holds its source text and has no translation yet, as msgmerge
//   would find it by its msgid, when there is exactly one.
// - Any other is put, fuzzy and with the text it was made from, on the new
//   text that took its text's place and is most like it (an edited word),
//   as msgmerge marks a message it matched by likeness; where no text like
//   it took its place, it is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vh::tool {

// A text of one scene, in either version.
struct CarryText {
  int sub = 0;
  int record = 0;
  int32_t typeId = 0;
  std::string source;  // as the PO files carry it, UTF-8
};

// A text of the old version with what its translators made of it.
struct PriorText : CarryText {
  std::string translation;  // "" when untranslated
  bool fuzzy = false;
  std::string previous;  // of a fuzzy one, the source its translation was made from
};

struct CarriedTranslation {
  std::string translation;
  bool fuzzy = false;
  std::string previous;  // of a fuzzy one: the source the translation was made from
};

struct CarryCounts {
  size_t kept = 0;     // at the same address, the same source
  size_t moved = 0;    // to another address that holds the same source
  size_t fuzzy = 0;    // on a changed text, to be reviewed
  size_t dropped = 0;  // their text is gone and nothing took its place
};

// For each text of `next`, in its order, the translation it inherits from
// `prior`, if any.
std::vector<std::optional<CarriedTranslation>> carryOver(const std::vector<PriorText>& prior,
                                                         const std::vector<CarryText>& next, CarryCounts& counts);

// The pairs of positions of the longest common subsequence of `a` and `b`
// found by the shortest edit script, in order; nothing when that script is
// longer than `maxEdits`.
std::optional<std::vector<std::pair<size_t, size_t>>> commonPairs(const std::vector<uint32_t>& a,
                                                                 const std::vector<uint32_t>& b, size_t maxEdits);

}  // namespace vh::tool
