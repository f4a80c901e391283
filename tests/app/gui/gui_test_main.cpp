// The window tests run against an X server of their own, started before the
// first test and stopped after the last, never against the developer's
// display.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/gui/windowed_desktop.h"
#include "tests/app/gui/x_display.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  vh::test::PrivateDisplay display;
  if (!vh::WindowedDesktop::openDisplay()) {
    std::fprintf(stderr, "cannot open the private display %s\n", display.name().c_str());
    return 1;
  }
  return RUN_ALL_TESTS();
}
