// GBK through Windows' code page 936, held to the table of the Linux build:
// code page 936 also gives GBK's user-defined areas characters of Unicode's
// private use area, which no font of the game draws and iconv's GBK does not
// know, so those are refused both ways. Everything else the two tables map
// alike, the euro sign at 0x80 included.
#include <windows.h>

#include <climits>

#include "translation/gbk_codec.h"

namespace vh {

namespace {

constexpr UINT kGbkCodePage = 936;

bool privateUse(char32_t point) { return point >= 0xE000 && point <= 0xF8FF; }

// Only characters of the Basic Multilingual Plane have GBK codes, so each
// is one UTF-16 unit.
bool mayHaveGbkCode(char32_t point) { return point <= 0xFFFF && !(point >= 0xD800 && point <= 0xDFFF) && !privateUse(point); }

// The code page's bytes of UTF-16 units; nothing when one has no code of
// its own (the code page would put its default character, or a look-alike,
// in its place).
std::optional<std::string> toCodePage(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int units = static_cast<int>(wide.size());
  BOOL defaulted = FALSE;
  const int length = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0, nullptr, &defaulted);
  if (length <= 0 || defaulted) return std::nullopt;
  std::string bytes(static_cast<size_t>(length), '\0');
  if (WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), units, bytes.data(), length, nullptr,
                          &defaulted) != length ||
      defaulted) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::optional<std::u32string> decodeGbk(std::string_view gbk) {
  if (gbk.empty()) return std::u32string();
  if (gbk.size() > INT_MAX) return std::nullopt;
  const int size = static_cast<int>(gbk.size());
  const int units = MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), size, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(units), L'\0');
  if (MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), size, wide.data(), units) != units) {
    return std::nullopt;
  }
  std::u32string points;
  points.reserve(wide.size());
  for (const wchar_t unit : wide) {
    const auto point = static_cast<char32_t>(static_cast<uint16_t>(unit));
    if (!mayHaveGbkCode(point)) return std::nullopt;
    points.push_back(point);
  }
  return points;
}

std::optional<std::string> encodeGbk(std::u32string_view points, size_t& unmapped) {
  if (points.size() > INT_MAX) {
    unmapped = 0;
    return std::nullopt;
  }
  std::wstring wide;
  wide.reserve(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    if (!mayHaveGbkCode(points[i])) {
      unmapped = i;
      return std::nullopt;
    }
    wide.push_back(static_cast<wchar_t>(points[i]));
  }
  if (auto bytes = toCodePage(wide)) return bytes;
  // Some character has no code: the first such one, character by character.
  for (size_t i = 0; i < wide.size(); ++i) {
    if (!toCodePage(wide.substr(i, 1))) {
      unmapped = i;
      return std::nullopt;
    }
  }
  unmapped = 0;
  return std::nullopt;
}

}  // namespace vh
