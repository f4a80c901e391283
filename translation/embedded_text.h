// The text a speech or text record embeds in its subString.
//
// It sits after a fixed prefix of P bytes (0 for speech, 66 for text, 102
// for text2) as a 16-bit length L, low byte first, and L bytes of text;
// whatever follows is the record's tail. The installer, the translators'
// checks and the record diff all read it here, so the layout is written
// down once.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vh {

inline constexpr size_t kSpeechTextPrefix = 0;
inline constexpr size_t kTextPrefix = 66;
inline constexpr size_t kText2Prefix = 102;
// The stored L in front of the text.
inline constexpr size_t kTextLengthSize = 2;

// The text at `prefix`, viewing the subString's own bytes; nothing when the
// subString is too short for L or L runs past its end.
std::optional<std::string_view> embeddedText(std::string_view subString, size_t prefix);
// The view would outlive a subString that dies with the statement.
std::optional<std::string_view> embeddedText(std::string&& subString, size_t prefix) = delete;

}  // namespace vh
