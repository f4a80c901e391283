#include <windows.h>

#include <cstdlib>

#include "common/process_text.h"
#include "common/wide_text_win32.h"

namespace vh {

std::vector<std::string> utf8Arguments(int, const char* const*) { return commandLineArguments(GetCommandLineW()); }

std::optional<std::string> environmentValue(const std::string& name) {
  const auto wideName = wideText(name);
  if (!wideName || wideName->empty()) return std::nullopt;
  const wchar_t* value = _wgetenv(wideName->c_str());
  if (!value) return std::nullopt;
  return utf8Text(value);
}

}  // namespace vh
