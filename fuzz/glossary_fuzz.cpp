// A glossary as vhtool check --glossary reads it, then put to work by the
// reviewer on a few translated texts. A refused file says why; an accepted
// one holds only whole terms, which written back as CSV, every field
// quoted, read as the same terms.
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"
#include "tools/review.h"
#include "translation/trz.h"

namespace vh::fuzz {

namespace {

std::string quoted(const std::string& field) {
  std::string out = "\"";
  for (char c : field) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// Texts in GBK: "Open the old door." as 打开旧门。, and "Key" as 钥匙.
const std::vector<tool::ReviewedText>& reviewedTexts() {
  static const std::vector<tool::ReviewedText> texts = {
      {"Inn.trz", 4, "Inn", 1, 2, kKindSpeech, "speech", "Open the old door.", "\xB4\xF2\xBF\xAA\xBE\xC9\xC3\xC5\xA1\xA3"},
      {"Inn.trz", 9, "Inn", 1, 3, kKindObject, "object", "Key", "\xD4\xBF\xB3\xD7"},
  };
  return texts;
}

}  // namespace

int glossaryFile(const uint8_t* data, size_t size) {
  std::string error;
  const auto terms = tool::readGlossary(writeScratch("glossary.csv", data, size), error);
  if (!terms) {
    if (error.empty()) fail("a glossary is refused without a reason");
    return 0;
  }
  std::string written = "source,target\n";
  for (const tool::GlossaryTerm& term : *terms) {
    if (term.source.empty() || term.target.empty()) fail("a glossary term lacks its source or its target");
    written += quoted(term.source) + "," + quoted(term.target) + "\n";
  }
  const auto again = tool::readGlossary(writeScratch("written.csv", written.data(), written.size()), error);
  if (!again || again->size() != terms->size()) fail("a written glossary does not read back");
  for (size_t i = 0; i < terms->size(); ++i) {
    if ((*again)[i].source != (*terms)[i].source || (*again)[i].target != (*terms)[i].target) {
      fail("a written glossary reads back with other terms");
    }
  }
  tool::review(reviewedTexts(), {&*terms, true});
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::glossaryFile)
