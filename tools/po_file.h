// PO files read and written by GNU gettext's own library, so that what we
// write is what translators' tools read and the other way round.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vh::tool {

struct PoMessage {
  std::string context;    // msgctxt
  std::string id;         // msgid
  std::string str;        // msgstr
  std::string extracted;  // the "#." comment for translators
  bool fuzzy = false;
  bool obsolete = false;
};

struct PoCatalog {
  std::string header;  // the msgstr of the header entry
  std::vector<PoMessage> messages;
};

// The header entry: a template's placeholders, or a Chinese translation's.
std::string poHeader(const std::string& project, bool isTemplate);

// Writes the catalog through a new file renamed over `path`. False, with
// gettext's messages in `problems`, when it cannot.
bool writePoFile(const std::string& path, const PoCatalog& catalog, std::vector<std::string>& problems);

// Reads a PO file; nothing when gettext finds it unreadable, its messages
// as "FILE:LINE: text" in `problems`. Warnings end up there too.
std::optional<PoCatalog> readPoFile(const std::string& path, std::vector<std::string>& problems);

// The header field `name` of a header text; "" when missing.
std::string poHeaderField(const std::string& header, const std::string& name);

// msgstr with msgid's leading and trailing line feeds in place of its own,
// as msgfmt --check demands and as the game's text layout expects.
std::string withLineFeedsOf(const std::string& msgid, const std::string& msgstr);

// The line, counted from 1, where the message with this msgctxt starts in
// the file's text: the library keeps no line for a message, and a
// translator wants to find it. 0 when it is not found.
size_t poMessageLine(const std::string& fileText, const std::string& context);

}  // namespace vh::tool
