#include "install/installer_host.h"

#include <cstdio>

namespace vh {

namespace {

class StandardStreamsHost : public InstallerHost {
 public:
  std::string chooseFolder(const std::string&, const std::string&) override { return ""; }
  void printLine(const std::string& text) override { print(stdout, text); }
  void printErrorLine(const std::string& text) override { print(stderr, text); }

 private:
  static void print(std::FILE* to, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fputc('\n', to);
    std::fflush(to);
  }
};

InstallerHost* current = nullptr;

}  // namespace

InstallerHost& installerHost() {
  static StandardStreamsHost standardStreams;
  return current ? *current : standardStreams;
}

InstallerHost* installedInstallerHost() { return current; }

InstallerHost* setInstallerHost(InstallerHost* host) {
  InstallerHost* previous = current;
  current = host;
  return previous;
}

}  // namespace vh
