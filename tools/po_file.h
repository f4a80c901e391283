// PO files read and written by GNU gettext's own library, so that what we
// write is what translators' tools read and the other way round.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vh {
class FileSystem;
}

namespace vh::tool {

struct PoMessage {
  std::string context;    // msgctxt
  std::string id;         // msgid
  std::string str;        // msgstr
  std::string extracted;  // the "#." comment for translators
  bool fuzzy = false;
  bool obsolete = false;
  std::string previous;  // the "#|" msgid a fuzzy message was translated from
  size_t line = 0;       // of its msgstr in the file read; 0 when unknown
};

struct PoCatalog {
  std::string header;  // the msgstr of the header entry
  std::vector<PoMessage> messages;
};

// The header entry: a template's placeholders, or a Chinese translation's.
std::string poHeader(const std::string& project, bool isTemplate);

// Writes the catalog through a new file renamed over `path`. False, with
// gettext's messages in `problems`, when it cannot.
bool writePoFile(FileSystem& files, const std::string& path, const PoCatalog& catalog,
                 std::vector<std::string>& problems);

// Reads a PO file; nothing when gettext finds it unreadable, its messages
// as "FILE:LINE: text" in `problems`. Warnings end up there too. A pipe or
// a device is not read, nor a file over 64 MiB.
std::optional<PoCatalog> readPoFile(const std::string& path, std::vector<std::string>& problems);

// The header field `name` of a header text; "" when missing.
std::string poHeaderField(const std::string& header, const std::string& name);

// msgstr with msgid's leading and trailing line feeds in place of its own,
// as msgfmt --check demands and as the game's text layout expects.
std::string withLineFeedsOf(const std::string& msgid, const std::string& msgstr);

// Where each message with a msgctxt stands in a PO file's text, in file
// order: its msgctxt and the line (counted from 1) of its msgstr. The
// library keeps no line for a message, and a translator wants to find the
// translation a fault is in. Obsolete messages are not among them.
struct PoMessagePlace {
  std::string context;
  size_t msgstrLine = 0;
};
std::vector<PoMessagePlace> poMessagePlaces(const std::string& fileText);

}  // namespace vh::tool
