#include "common/report.h"

#include <cstdio>

namespace vh {

namespace {

// Without an installed reporter a message must still reach someone: a tool
// or a test that forgot to install one would otherwise lose the only word of
// a failure.
class StandardErrorReporter : public Reporter {
 public:
  void messageBox(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
  }
  void debugLog(const std::string&) override {}
};

Reporter* current = nullptr;

}  // namespace

Reporter& reporter() {
  static StandardErrorReporter standardError;
  return current ? *current : standardError;
}

Reporter* installedReporter() { return current; }

Reporter* setReporter(Reporter* r) {
  Reporter* previous = current;
  current = r;
  return previous;
}

void fatalError(const std::string& text) { throw FatalError(text); }

void endProcess(int status) { throw ProcessExit{status}; }

}  // namespace vh
