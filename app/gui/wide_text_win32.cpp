#include "app/gui/wide_text.h"

#include <windows.h>

#include <climits>

namespace vh {

std::wstring wideFromUtf8(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::optional<std::string> utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  if (wide.size() > INT_MAX / 3) return std::nullopt;
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::nullopt;
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

}  // namespace vh
