// The messages of the PO files vhtool writes and reads: one for each text of
// the game, its msgctxt the record's address and the kind word
// ("Inn990005|text2"), so that a record's title and its embedded text are
// two messages. PO files of an earlier export carried the address alone in
// msgctxt and the kind word first in the "#." comment; they still read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/po_file.h"

namespace vh::tool {

// Which text of the game a message translates.
struct MessageKey {
  std::string address;  // scene, two digits of sub-scene, four of record
  std::string scene;
  int sub = 0;
  int record = 0;
  int32_t typeId = 0;  // the kind code of `word`
  std::string word;
};

// "ADDRESS|word".
std::string messageContext(const std::string& address, const std::string& word);

// The text a message translates, from its msgctxt (or, in an earlier
// export's file, the msgctxt and the comment); nothing, with the reason in
// `why`, when it names no record and kind.
std::optional<MessageKey> messageKey(const PoMessage& message, std::string& why);

// The ".po" files in a folder and its folders, a few levels down, sorted:
// export's po/<scene>.po, and the layouts of translation platforms
// (<scene>/zh_CN.po, <scene>.zh_CN.po) alike, since a message names its
// scene itself.
std::vector<std::string> poFilesUnder(const std::string& folder);

// The place of a fault in a message: "FILE:LINE" of its msgstr, or "FILE"
// and the msgctxt when the line is unknown.
std::string messagePlace(const std::string& file, const PoMessage& message);

}  // namespace vh::tool
