// Byte strings and the small text helpers every format shares.
//
// File text is carried in std::string, one byte per character: GBK text from
// the translators passes into the game's records untouched, and every length
// in a file format counts bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vh {

// Leading white space, an optional sign, then "%" for binary, "$" for
// hexadecimal or plain decimal digits; stops at the first non-digit of the
// base. The value wraps like a 32-bit register, so an overlong number never
// becomes undefined behaviour.
int32_t strToInt(std::string_view text);

// Maps A-Z to a-z and nothing else: bytes above 127 are GBK halves, not
// letters, and must survive a case-insensitive comparison unchanged.
std::string lowerCase(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Every piece, empty ones included; text without the separator is one piece.
std::vector<std::string> split(std::string_view text, char separator);

// Paths built by the program use forward slashes; ones from the registry or
// the folder chooser may come with backslashes.
std::string toSlashes(std::string_view path);

}  // namespace vh
