#include "support/library_folders.h"

#include "common/bytes.h"

namespace vh {

namespace {

class KeyValueReader {
 public:
  explicit KeyValueReader(const std::string& text) : text_(text) {}

  Result<KeyValueNode> file() {
    KeyValueNode top;
    top.isBlock = true;
    if (!pairs(top, 0)) return Fault{FaultKind::Damaged, "libraryfolders.vdf: " + fault_};
    return top;
  }

 private:
  enum class Token { End, Open, Close, Text, Bad };

  // Fills `block` until its closing brace (depth > 0) or the end of the text
  // (the top level).
  bool pairs(KeyValueNode& block, int depth) {
    for (;;) {
      std::string key;
      switch (next(key)) {
        case Token::End:
          if (depth > 0) return fail("a block is not closed");
          return true;
        case Token::Close:
          if (depth == 0) return fail("a \"}\" closes no block");
          return true;
        case Token::Open:
          return fail("a block has no key");
        case Token::Bad:
          return false;
        case Token::Text:
          break;
      }
      KeyValueNode value;
      switch (next(value.text)) {
        case Token::Text:
          break;
        case Token::Open:
          if (depth + 1 > kMaxKeyValueDepth) return fail("blocks nest deeper than " + std::to_string(kMaxKeyValueDepth));
          value.isBlock = true;
          if (!pairs(value, depth + 1)) return false;
          break;
        case Token::Bad:
          return false;
        case Token::End:
        case Token::Close:
          return fail("the key \"" + key + "\" has no value");
      }
      block.children.emplace_back(std::move(key), std::move(value));
    }
  }

  Token next(std::string& word) {
    skipBlanks();
    if (at_ >= text_.size()) return Token::End;
    const char c = text_[at_];
    if (c == '{') return ++at_, Token::Open;
    if (c == '}') return ++at_, Token::Close;
    if (c == '"') return quoted(word) ? Token::Text : Token::Bad;
    // A bare word runs to the next blank, brace or quote.
    const size_t start = at_;
    while (at_ < text_.size() && !isBlank(text_[at_]) && text_[at_] != '{' && text_[at_] != '}' && text_[at_] != '"') {
      ++at_;
    }
    word = text_.substr(start, at_ - start);
    return Token::Text;
  }

  bool quoted(std::string& word) {
    ++at_;  // the opening quote
    word.clear();
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (c != '\\' || at_ >= text_.size()) {
        word += c;
        continue;
      }
      const char escaped = text_[at_];
      switch (escaped) {
        case '\\': word += '\\'; break;
        case '"': word += '"'; break;
        case 'n': word += '\n'; break;
        case 't': word += '\t'; break;
        case 'r': word += '\r'; break;
        default: word += '\\'; continue;  // not an escape: the backslash is text
      }
      ++at_;
    }
    return fail("a quoted text is not closed");
  }

  void skipBlanks() {
    while (at_ < text_.size()) {
      if (isBlank(text_[at_])) {
        ++at_;
      } else if (text_.compare(at_, 2, "//") == 0) {
        while (at_ < text_.size() && text_[at_] != '\n') ++at_;
      } else {
        return;
      }
    }
  }

  static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  bool fail(const std::string& what) {
    fault_ = what;
    return false;
  }

  const std::string& text_;
  size_t at_ = 0;
  std::string fault_;
};

bool isNumber(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

const KeyValueNode* child(const KeyValueNode& block, const std::string& lowerName) {
  for (const auto& [name, value] : block.children) {
    if (lowerCase(name) == lowerName) return &value;
  }
  return nullptr;
}

}  // namespace

Result<KeyValueNode> parseKeyValues(const std::string& text) { return KeyValueReader(text).file(); }

std::vector<std::string> libraryFolders(const KeyValueNode& file) {
  std::vector<std::string> folders;
  const KeyValueNode* list = child(file, "libraryfolders");
  if (!list || !list->isBlock) return folders;
  for (const auto& [name, library] : list->children) {
    if (library.isBlock) {
      const KeyValueNode* path = child(library, "path");
      if (path && !path->isBlock && !path->text.empty()) folders.push_back(path->text);
    } else if (isNumber(name) && !library.text.empty()) {
      folders.push_back(library.text);
    }
  }
  return folders;
}

}  // namespace vh
