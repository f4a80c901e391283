// What a reviewer looks for in translated texts, beyond what would break the
// installation: a text translated twice, blanks and line breaks the source
// does not have, English left in, one source translated in two ways, a
// glossary term missed, the heroine's name. Each finding names the file
// and line of the translation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vh::tool {

// One translation entry with the game's text it replaces.
struct ReviewedText {
  std::string file;
  int line = 0;  // of its value
  std::string scene;
  int sub = 0;
  int record = 0;
  int32_t typeId = 0;
  std::string word;         // as the entry writes it
  std::string source;       // the game's text, GBK
  std::string translation;  // GBK; equal to the source when untranslated
};

// A term the team has agreed on: where `source` stands in a source text, as
// a whole word and whatever its letter case, the translation says `target`.
struct GlossaryTerm {
  std::string source;  // UTF-8
  std::string target;  // UTF-8
  int line = 0;        // of the glossary file
};

// A glossary file: UTF-8 CSV whose first line is the header "source,target",
// quoted fields as spreadsheets write them. Nothing, with the reason and its
// line in `error`, when it is no such file.
std::optional<std::vector<GlossaryTerm>> readGlossary(const std::string& path, std::string& error);

struct ReviewOptions {
  const std::vector<GlossaryTerm>* glossary = nullptr;
  bool strict = false;  // a missed glossary term is a problem, not a note
};

struct ReviewFinding {
  std::string file;
  int line = 0;
  bool problem = false;
  std::string message;
};

// The findings over every entry of the working tree, in the entries' order.
std::vector<ReviewFinding> review(const std::vector<ReviewedText>& texts, const ReviewOptions& options);

}  // namespace vh::tool
