#include "install/installer_host.h"

namespace vh {

void StandardStreamsHost::print(std::FILE* to, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), to);
  std::fputc('\n', to);
  std::fflush(to);
}

}  // namespace vh
