#include "common/report.h"

#include <cstdio>

namespace vh {

void StandardErrorReporter::messageBox(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

void fatalError(const std::string& text) { throw FatalError(text); }

void endProcess(int status) { throw ProcessExit{status}; }

void HeldReport::sayTo(Reporter& report) {
  for (const auto& [message, text] : lines_) {
    if (message) {
      report.messageBox(text);
    } else {
      report.debugLog(text);
    }
  }
  lines_.clear();
}

}  // namespace vh
