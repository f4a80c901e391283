// GBK, the encoding of every text the game and the TRZ files carry, and
// UTF-8, the encoding translators' PO tools speak, converted by each
// platform's own services (translation/gbk_codec.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vh {

// The UTF-8 form of GBK bytes; nothing when a byte sequence is no GBK
// character.
[[nodiscard]] std::optional<std::string> gbkToUtf8(std::string_view gbk);

// Where a UTF-8 text stopped converting: the byte offset of the character
// that GBK cannot hold, or of the first byte that is no UTF-8.
struct GbkFault {
  size_t offset = 0;
};

// The GBK form of UTF-8 text; nothing when a character has no GBK code or
// the text is no UTF-8, with the place in `fault` when one is given.
[[nodiscard]] std::optional<std::string> utf8ToGbk(std::string_view utf8, GbkFault* fault = nullptr);

// True when the GBK bytes come back unchanged from UTF-8: only such a text
// can go out to a PO file and return from it as the game stored it.
bool roundTripsThroughUtf8(std::string_view gbk);

// The number of characters in GBK bytes that are text a player reads:
// printable characters and line breaks (line feed, carriage return) only.
// Nothing for bytes that are no GBK, or hold a control character, or a
// character of GBK's user-defined areas, which no font of the game draws.
[[nodiscard]] std::optional<size_t> gbkTextLength(std::string_view gbk);

// Member names are GBK in the archives, UTF-8 on the command line and on
// disk. A name typed or found on disk in the archives' own encoding: the
// GBK form of a UTF-8 name, or the name as it stands when it is no UTF-8
// (a file an earlier extraction named with the archive's own bytes).
// Nothing for UTF-8 with a character GBK lacks.
[[nodiscard]] std::optional<std::string> archiveName(std::string_view name);
// A stored name for the command line and the disk: its UTF-8 form, or the
// bytes as they are when they are no GBK.
std::string diskName(std::string_view stored);

// How bytes read as UTF-8: not at all (not well-formed, or ASCII only),
// with characters below U+0800 only, or with one from U+0800 up, as every
// Chinese character and most Chinese punctuation is in UTF-8 (three bytes).
// GBK text hardly ever reads wide: most GBK lead bytes are UTF-8
// continuation bytes, and a GBK character read as UTF-8 is two bytes, below
// U+0800 (谢谢 in GBK reads as "лл").
enum class Utf8Reading { None, Narrow, Wide };
Utf8Reading readAsUtf8(std::string_view bytes);

// The UTF-8 character starting at `offset` and its code point as "U+XXXX",
// for messages that name a character; the bytes escaped when they are no
// UTF-8.
std::string describeUtf8Character(std::string_view utf8, size_t offset);

}  // namespace vh
