#include "common/key_value.h"

namespace vh {

void splitKeyValue(const std::string& line, std::string& key, std::string& value) {
  const size_t at = line.find('=');
  if (at == std::string::npos || at == 0) {
    key = line;
    value.clear();
    return;
  }
  key = line.substr(0, at);
  value = line.substr(at + 1);
}

std::string makeKeyValue(const std::string& key, const std::string& value) { return key + "=" + value; }

}  // namespace vh
