#include "app/desktop.h"

#include <chrono>
#include <cstdio>
#include <thread>


namespace vh {

int wholePercent(double fraction) {
  if (!(fraction > 0)) return 0;
  if (fraction >= 1) return 100;
  return static_cast<int>(fraction * 100);
}

void Desktop::pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void Desktop::printErrorLine(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace vh
