#include "common/wide_text_win32.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <climits>

namespace vh {

std::optional<std::wstring> wideText(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  if (utf8.size() > INT_MAX) return std::nullopt;
  const int size = static_cast<int>(utf8.size());
  const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(units), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), units) != units) {
    return std::nullopt;
  }
  return wide;
}

std::wstring shownText(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  // Without MB_ERR_INVALID_CHARS a byte that is no UTF-8 is written as
  // U+FFFD.
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(units), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), units) != units) return std::wstring();
  return wide;
}

std::string utf8Text(std::wstring_view wide) {
  if (wide.empty() || wide.size() > INT_MAX / 3) return std::string();
  const int units = static_cast<int>(wide.size());
  // Without WC_ERR_INVALID_CHARS a lone surrogate is written as U+FFFD.
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(), size, nullptr, nullptr) != size) {
    return std::string();
  }
  return utf8;
}

std::vector<std::string> commandLineArguments(const wchar_t* commandLine) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** split = CommandLineToArgvW(commandLine, &count);
  if (!split) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(utf8Text(split[i]));
  LocalFree(split);
  return arguments;
}

}  // namespace vh
