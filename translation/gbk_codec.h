// The two conversions between GBK bytes and Unicode code points that each
// platform makes with its own services (gbk_codec_posix.cpp: the C
// library's iconv; gbk_codec_win32.cpp: code page 936). Both give the same
// table: GBK's characters with the euro sign at 0x80, and none of its
// user-defined areas, which have no characters of their own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vh {

// The code points of GBK bytes; nothing when a byte sequence is no GBK
// character (a 0x7F or 0xFF, a lead byte cut off or with a byte that cannot
// follow it, a code of a user-defined area).
[[nodiscard]] std::optional<std::u32string> decodeGbk(std::string_view gbk);

// The GBK bytes of code points; nothing, with the index of the first code
// point GBK cannot hold in `unmapped`, when one cannot be written.
[[nodiscard]] std::optional<std::string> encodeGbk(std::u32string_view points, size_t& unmapped);

}  // namespace vh
