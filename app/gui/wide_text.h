// Text is UTF-8 inside the program and UTF-16 at the Windows edge. Only the
// Windows build's files include this header.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vh {

// Bytes that are not UTF-8 (a message may carry a name in the game's own
// encoding) become U+FFFD, so that the rest of the text still shows.
std::wstring wideFromUtf8(std::string_view utf8);

// Nothing when the text holds a lone surrogate, which no UTF-8 path can
// name.
std::optional<std::string> utf8FromWide(std::wstring_view wide);

}  // namespace vh
