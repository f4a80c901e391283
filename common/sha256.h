// SHA-256 digests as lower-case hex, for telling whether a game file is the
// one a backup was taken from or the one an installation wrote.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vh {

std::string sha256Hex(std::string_view bytes);
// The digest of a file's content, read in blocks; none when it cannot be read.
std::optional<std::string> sha256OfFile(const std::string& path);

}  // namespace vh
