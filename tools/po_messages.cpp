#include "tools/po_messages.h"

#include <algorithm>

#include "common/files.h"
#include "translation/trz.h"

namespace vh::tool {

namespace {

constexpr char kKindSeparator = '|';
// po/<scene>/<language>.po is the deepest layout of the platforms.
constexpr int kFolderLevels = 3;

void collect(const std::string& folder, int levels, std::vector<std::string>& files) {
  for (const std::string& name : listFolder(folder, true)) {
    const std::string path = folder + "/" + name;
    if (fileKind(path) == FileKind::Folder) {
      if (levels > 0) collect(path, levels - 1, files);
    } else if (name.size() > 3 && name.ends_with(".po") && fileKind(path) == FileKind::File) {
      files.push_back(path);
    }
  }
}

bool digits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string messageContext(const std::string& address, const std::string& word) {
  return address + kKindSeparator + word;
}

std::optional<MessageKey> messageKey(const PoMessage& message, std::string& why) {
  MessageKey key;
  const size_t bar = message.context.find(kKindSeparator);
  key.address = message.context.substr(0, bar);
  if (bar != std::string::npos) {
    key.word = message.context.substr(bar + 1);
  } else {
    // An earlier export's message: the kind word leads the comment.
    key.word = message.extracted.substr(0, message.extracted.find_first_of(" \n"));
  }
  const size_t n = key.address.size();
  if (n <= 6 || !digits(key.address.substr(n - 6))) {
    why = "the msgctxt \"" + message.context + "\" names no record: it must be the address and the kind word, as "
          "\"Inn990005|speech\"";
    return std::nullopt;
  }
  key.scene = key.address.substr(0, n - 6);
  // The scene names the file its entries go to: it may not lead anywhere
  // but into trans/.
  if (!std::all_of(key.scene.begin(), key.scene.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && c != '/' && c != '\\' && c != '.' && c != '=';
      })) {
    why = "the msgctxt \"" + message.context + "\" names no record: a scene's name has no \"/\", \"\\\", \".\" or \"=\"";
    return std::nullopt;
  }
  key.sub = std::stoi(key.address.substr(n - 6, 2));
  key.record = std::stoi(key.address.substr(n - 4));
  tTransRecord kind;
  kind.setType(key.word);
  key.typeId = kind.typeId;
  if (key.typeId == kKindOther) {
    why = key.word.empty() ? "no kind word for " + key.address + ": the msgctxt must end in \"|\" and the kind word"
                           : "unknown kind word \"" + key.word + "\" in the msgctxt of " + key.address;
    return std::nullopt;
  }
  return key;
}

std::vector<std::string> poFilesUnder(const std::string& folder) {
  std::vector<std::string> files;
  collect(folder, kFolderLevels, files);
  std::sort(files.begin(), files.end());
  return files;
}

std::string messagePlace(const std::string& file, const PoMessage& message) {
  if (message.line) return file + ":" + std::to_string(message.line);
  return file + ": message \"" + message.context + "\"";
}

}  // namespace vh::tool
