// Steam's library list through the reader the prefix search uses. A file
// read must write back, quoted and escaped, as text that reads as the same
// tree; and the library folders are taken from any tree without fault.
#include "fuzz/fuzz_targets.h"
#include "support/library_folders.h"

namespace vh::fuzz {

namespace {

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

void write(const KeyValueNode& block, std::string& out) {
  for (const auto& [key, value] : block.children) {
    out += quoted(key);
    if (value.isBlock) {
      out += "\n{\n";
      write(value, out);
      out += "}\n";
    } else {
      out += "\t" + quoted(value.text) + "\n";
    }
  }
}

}  // namespace

int libraryFolderList(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Result<KeyValueNode> file = parseKeyValues(text);
  if (!file) return 0;
  for (const std::string& folder : libraryFolders(file.value())) {
    if (folder.empty()) fail("an empty library folder was listed");
  }
  std::string written;
  write(file.value(), written);
  Result<KeyValueNode> again = parseKeyValues(written);
  if (!again) fail("a written list cannot be read");
  if (!(again.value() == file.value())) fail("a written list reads back differently");
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::libraryFolderList)
