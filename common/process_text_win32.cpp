// The wide forms, from the process itself: the C runtime's narrow copies
// (argv, getenv), and even its wide copy of the environment when main is
// not wmain, pass through the system's code page and have already lost
// every character outside it.
#include <windows.h>

#include "common/process_text.h"
#include "common/wide_text_win32.h"

namespace vh {

std::vector<std::string> utf8Arguments(int, const char* const*) { return commandLineArguments(GetCommandLineW()); }

std::optional<std::string> environmentValue(const std::string& name) {
  const auto wideName = wideText(name);
  if (!wideName || wideName->empty()) return std::nullopt;
  std::wstring value(64, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(wideName->c_str(), value.data(), static_cast<DWORD>(value.size()));
    // 0 is both "not set" and an empty value; only the error tells them apart.
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    // Too small a buffer gives the size it needs, its terminating zero
    // counted; the value may grow meanwhile, so ask again.
    if (length >= value.size()) {
      value.assign(length, L'\0');
      continue;
    }
    value.resize(length);
    return utf8Text(value);
  }
}

}  // namespace vh
