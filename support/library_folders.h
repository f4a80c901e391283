// Steam's libraryfolders.vdf: the list of the folders where a Steam
// installation keeps games, each with its own steamapps/compatdata, where
// the Wine prefixes of Windows games live. The file is Steam's key-value
// text: quoted (or bare) keys, each followed by a quoted value or by a
// block of further pairs in braces; "//" starts a comment.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/fault.h"

namespace vh {

// One value of the file: a text, or a block of named values in file order.
struct KeyValueNode {
  bool isBlock = false;
  std::string text;
  std::vector<std::pair<std::string, KeyValueNode>> children;

  bool operator==(const KeyValueNode&) const = default;
};

// Blocks nested deeper than this are refused: the reader descends one call
// per block, and a real file nests three deep.
inline constexpr int kMaxKeyValueDepth = 32;

// The pairs of `text` as the children of one block. Inside quotes, \\ \"
// \n \t and \r are undone and any other backslash stays as it is, so a
// Windows path written without escapes keeps its separators. An unclosed
// quote or block, a "}" without its "{", a key without a value or nesting
// beyond kMaxKeyValueDepth is the fault Damaged.
Result<KeyValueNode> parseKeyValues(const std::string& text);

// The library folders the file lists: under its "libraryfolders" block,
// the "path" of every library block, or (in the older form) every value
// whose key is a number. Keys are compared without regard to case.
std::vector<std::string> libraryFolders(const KeyValueNode& file);

}  // namespace vh
