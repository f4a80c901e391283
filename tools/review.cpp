#include "tools/review.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>
#include <unordered_map>

#include "common/files.h"
#include "install/patcher.h"
#include "translation/gbk.h"
#include "translation/kind_words.h"
#include "translation/replace.h"

namespace vh::tool {

namespace {

// Bounds for a file a team keeps by hand.
constexpr size_t kMaxGlossaryBytes = 16 << 20;

const std::string kIdeographicSpace = "\xE3\x80\x80";  // U+3000 in UTF-8

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool wordCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Blanks at the start (or the end) of UTF-8 text, counted in characters.
size_t blanks(const std::string& text, bool atEnd) {
  size_t count = 0;
  std::string_view rest(text);
  for (;;) {
    if (!rest.empty() && (atEnd ? rest.back() : rest.front()) == ' ') {
      atEnd ? rest.remove_suffix(1) : rest.remove_prefix(1);
    } else if (!rest.empty() && (atEnd ? rest.back() : rest.front()) == '\t') {
      atEnd ? rest.remove_suffix(1) : rest.remove_prefix(1);
    } else if (atEnd ? rest.ends_with(kIdeographicSpace) : rest.starts_with(kIdeographicSpace)) {
      atEnd ? rest.remove_suffix(3) : rest.remove_prefix(3);
    } else {
      return count;
    }
    ++count;
  }
}

size_t lineBreaks(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// The runs of Latin letters in UTF-8 text (their bytes are never part of a
// longer character there).
std::vector<std::string> latinWords(const std::string& text) {
  std::vector<std::string> words;
  std::string current;
  for (char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      current += c;
    } else if (!current.empty()) {
      words.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) words.push_back(std::move(current));
  return words;
}

// Whether `term` (lower case) stands in `text` (lower case) as a whole word.
bool containsWord(const std::string& text, const std::string& term) {
  if (term.empty()) return false;
  for (size_t at = text.find(term); at != std::string::npos; at = text.find(term, at + 1)) {
    const bool startsWord = at == 0 || !wordCharacter(text[at - 1]);
    const bool endsWord = at + term.size() == text.size() || !wordCharacter(text[at + term.size()]);
    if (startsWord && endsWord) return true;
  }
  return false;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The glossary's terms lower-cased once, and found by the first word of
// their source: a text is weighed only against the terms that can start at
// one of its words, so a glossary of many thousand terms costs what the
// words of the game cost, not terms times texts. A term that does not start
// with a letter or a digit is weighed against every text.
class GlossaryIndex {
 public:
  explicit GlossaryIndex(const std::vector<GlossaryTerm>& terms) {
    for (const GlossaryTerm& term : terms) {
      const size_t k = source_.size();
      source_.push_back(lowerAscii(term.source));
      target_.push_back(lowerAscii(term.target));
      const std::string& source = source_.back();
      size_t end = 0;
      while (end < source.size() && wordCharacter(source[end])) ++end;
      if (end == 0) {
        anywhere_.push_back(k);
      } else {
        byFirstWord_[source.substr(0, end)].push_back(k);
      }
    }
  }

  // The terms whose source stands in `lowerSource` as whole words and whose
  // target `lowerTranslation` lacks, in the glossary's order.
  std::vector<size_t> missing(const std::string& lowerSource, const std::string& lowerTranslation) const {
    std::vector<size_t> candidates = anywhere_;
    for (size_t at = 0; at < lowerSource.size();) {
      if (!wordCharacter(lowerSource[at])) {
        ++at;
        continue;
      }
      size_t end = at;
      while (end < lowerSource.size() && wordCharacter(lowerSource[end])) ++end;
      if (const auto found = byFirstWord_.find(lowerSource.substr(at, end - at)); found != byFirstWord_.end()) {
        candidates.insert(candidates.end(), found->second.begin(), found->second.end());
      }
      at = end;
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    std::erase_if(candidates, [&](size_t k) {
      return !containsWord(lowerSource, source_[k]) || lowerTranslation.find(target_[k]) != std::string::npos;
    });
    return candidates;
  }

 private:
  std::vector<std::string> source_, target_;
  std::unordered_map<std::string, std::vector<size_t>> byFirstWord_;
  std::vector<size_t> anywhere_;
};

// Hands each row of CSV text to `take`, its fields and the line it starts
// on, until `take` says to stop. One row is held at a time: a file of
// blank lines costs no memory for each of them. False when `take` stopped
// or a quoted field is never closed (then with the reason in `error`).
using CsvRowTaker = std::function<bool(int line, const std::vector<std::string>& fields)>;

bool eachCsvRow(const std::string& text, const CsvRowTaker& take, std::string& error) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, wasQuoted = false;
  int line = 1, rowLine = 1;
  const auto endField = [&] {
    fields.push_back(std::move(field));
    field.clear();
    wasQuoted = false;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
    } else if (c == '"' && field.empty() && !wasQuoted) {
      quoted = wasQuoted = true;
    } else if (c == ',') {
      endField();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      endField();
      if (!take(rowLine, fields)) return false;
      fields.clear();
      rowLine = ++line;
    } else {
      field += c;
    }
  }
  if (quoted) {
    error = "line " + std::to_string(rowLine) + ": a quoted field is never closed";
    return false;
  }
  if (!field.empty() || !fields.empty()) {
    endField();
    return take(rowLine, fields);
  }
  return true;
}

std::string trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return "";
  return text.substr(start, text.find_last_not_of(" \t") + 1 - start);
}

}  // namespace

std::optional<std::vector<GlossaryTerm>> readGlossary(const std::string& path, std::string& error) {
  if (fileKind(path) == FileKind::Other) {
    error = "not a regular file";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot be read";
    return std::nullopt;
  }
  // Read as far as the bound and a little past it, never more: the buffer
  // grows with what the file holds, not with what it might.
  std::string text;
  char chunk[1 << 16];
  while (text.size() <= kMaxGlossaryBytes && in.read(chunk, sizeof chunk).gcount() > 0) {
    text.append(chunk, static_cast<size_t>(in.gcount()));
  }
  if (text.size() > kMaxGlossaryBytes) {
    error = "larger than " + std::to_string(kMaxGlossaryBytes >> 20) + " MiB";
    return std::nullopt;
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  const bool ascii = std::none_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; });
  if (!ascii && readAsUtf8(text) == Utf8Reading::None) {
    error = "not UTF-8: save it as UTF-8";
    return std::nullopt;
  }
  const std::string headerError = "line 1: the header must be \"source,target\"";
  std::vector<GlossaryTerm> terms;
  bool header = true;
  const auto take = [&](int line, const std::vector<std::string>& fields) {
    if (header) {
      header = false;
      if (fields.size() < 2 || lowerAscii(trimmed(fields[0])) != "source" ||
          lowerAscii(trimmed(fields[1])) != "target") {
        error = headerError;
        return false;
      }
      return true;
    }
    if (fields.size() == 1 && trimmed(fields[0]).empty()) return true;  // an empty line
    if (fields.size() < 2 || trimmed(fields[0]).empty() || trimmed(fields[1]).empty()) {
      error = "line " + std::to_string(line) + ": a term needs a source and a target";
      return false;
    }
    terms.push_back({trimmed(fields[0]), trimmed(fields[1]), line});
    return true;
  };
  if (!eachCsvRow(text, take, error)) return std::nullopt;
  if (header) {
    error = headerError;
    return std::nullopt;
  }
  return terms;
}

std::vector<ReviewFinding> review(const std::vector<ReviewedText>& texts, const ReviewOptions& options) {
  std::vector<ReviewFinding> findings;
  const auto note = [&](const ReviewedText& t, const std::string& message, bool problem = false) {
    findings.push_back({t.file, t.line, problem, message});
  };
  std::map<std::tuple<std::string, int, int, int32_t>, const ReviewedText*> entries;
  std::map<std::string, const ReviewedText*> firstTranslation;  // by source text
  const std::optional<GlossaryIndex> glossary =
      options.glossary ? std::optional<GlossaryIndex>(std::in_place, *options.glossary) : std::nullopt;
  for (const ReviewedText& t : texts) {
    const std::string named = recordAddress(t.scene, t.sub, static_cast<size_t>(t.record)) + "|" + t.word;
    const auto [first, fresh] = entries.try_emplace({t.scene, t.sub, t.record, t.typeId}, &t);
    if (!fresh) {
      note(t,
           "a second entry for " + named + " (the first at " + first->second->file + ":" +
               std::to_string(first->second->line) + "): only the last one installs",
           true);
      first->second = &t;
    }
    // What a reviewer reads is a translation: an entry that still holds
    // the game's own text is untranslated.
    if (t.translation == t.source) continue;
    const auto source = gbkToUtf8(t.source);
    const auto translation = gbkToUtf8(t.translation);
    if (!source || !translation) continue;  // reported as not GBK already

    for (const bool atEnd : {false, true}) {
      const size_t inSource = blanks(*source, atEnd), inTranslation = blanks(*translation, atEnd);
      if (inSource != inTranslation) {
        note(t, std::string("the translation ") + (atEnd ? "ends" : "begins") + " with " + std::to_string(inTranslation) +
                    " blanks, the source with " + std::to_string(inSource));
      }
    }
    if (lineBreaks(*source) != lineBreaks(*translation)) {
      note(t, "the translation has " + std::to_string(lineBreaks(*translation)) + " line breaks, the source " +
                  std::to_string(lineBreaks(*source)));
    }
    if (latinWords(*source).size() >= 2) {
      for (const std::string& word : latinWords(*translation)) {
        if (word.size() < 2) continue;
        note(t, "Latin letters left in the translation (" + quoted(word) + "), where the source is several words");
        break;
      }
    }
    const auto [other, firstOfSource] = firstTranslation.try_emplace(t.source, &t);
    if (!firstOfSource && other->second->translation != t.translation) {
      note(t, "the same source text is translated differently at " + other->second->file + ":" +
                  std::to_string(other->second->line));
    }
    if (glossary) {
      for (const size_t k : glossary->missing(lowerAscii(*source), lowerAscii(*translation))) {
        const GlossaryTerm& term = (*options.glossary)[k];
        note(t,
             "the glossary translates " + quoted(term.source) + " as " + quoted(term.target) + " (line " +
                 std::to_string(term.line) + "), which the translation lacks",
             options.strict);
      }
    }
    if (t.scene == kGlobalScene && t.sub == 99 && static_cast<size_t>(t.record) == kHeroineRecord &&
        isTitleKind(t.typeId)) {
      note(t, "the heroine's name: the installer always writes its own into this title, whatever the entry says");
    }
  }
  return findings;
}

}  // namespace vh::tool
