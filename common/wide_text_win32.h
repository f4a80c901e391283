// Text is UTF-8 everywhere inside the program; Windows' own interfaces
// take and give UTF-16. The conversions at that edge, for the *_win32.cpp
// files only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vh {

// The UTF-16 form of UTF-8 text; nothing when the bytes are no UTF-8, which
// no name on Windows could stand for.
[[nodiscard]] std::optional<std::wstring> wideText(std::string_view utf8);

// The UTF-16 form of text to be shown in a window: each byte that is no
// UTF-8 (a message may carry a name in the game's own encoding) becomes
// U+FFFD, so that the rest of the text still shows.
std::wstring shownText(std::string_view utf8);

// The UTF-8 form of UTF-16 text. A lone surrogate, which Windows allows in
// file names, becomes U+FFFD.
std::string utf8Text(std::wstring_view wide);

// The arguments of a command line split as the C runtime splits its own
// (quotes group, backslashes escape a quote), each as UTF-8.
std::vector<std::string> commandLineArguments(const wchar_t* commandLine);

}  // namespace vh
