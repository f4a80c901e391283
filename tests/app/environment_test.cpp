// The program's environment is read in one place; the Wine prefix found
// there is what the installer's registry and drive letters use.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "app/entry.h"
#include "common/local_file_system.h"
#include "support/registry.h"
#include "support/registry_platform.h"
#include "tests/test_support.h"

namespace vh {
namespace {

TEST(ReadEnvironment, WinePrefixThenHomeTheTwoSwitchesAndTheCodecLevel) {
  struct Case {
    const char* winePrefix;
    const char* home;
    const char* ui;
    const char* debug;
    const char* codecLevel;
    Environment expected;
  };
  const Case cases[] = {
      {"/p", "/h", nullptr, nullptr, nullptr, {false, false, "/p", "/h", ""}},
      {"", "/h", "terminal", "1", "v2", {true, true, "/h/.wine", "/h", "v2"}},
      {nullptr, "/h", "Terminal", "yes", "", {false, false, "/h/.wine", "/h", ""}},
      {nullptr, nullptr, "windows", "0", "V9", {false, false, "/.wine", "", "V9"}},
  };
  const auto put = [](const char* name, const char* value) { value ? setenv(name, value, 1) : unsetenv(name); };
  for (const Case& c : cases) {
    put("WINEPREFIX", c.winePrefix);
    put("HOME", c.home);
    put("VHPATCH_UI", c.ui);
    put("VHPATCH_DEBUG", c.debug);
    put("VHPATCH_CODEC_LEVEL", c.codecLevel);
    const Environment read = readEnvironment();
    EXPECT_EQ(read.winePrefix, c.expected.winePrefix);
    EXPECT_EQ(read.home, c.expected.home);
    EXPECT_EQ(read.terminalUi, c.expected.terminalUi) << (c.ui ? c.ui : "unset");
    EXPECT_EQ(read.debug, c.expected.debug) << (c.debug ? c.debug : "unset");
    EXPECT_EQ(read.codecLevel, c.expected.codecLevel);
  }
  unsetenv("VHPATCH_UI");
  unsetenv("VHPATCH_DEBUG");
  unsetenv("VHPATCH_CODEC_LEVEL");
}

TEST(ReadEnvironment, TheStoreOfItsPrefixFindsTheGame) {
  test::TempDir prefix;
  test::writeFile(prefix / "user.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Lumeric\\\\Tessary] 1\n\"root\"=\"/games/v\"\n");
  setenv("WINEPREFIX", prefix.path().c_str(), 1);
  LocalFileSystem files;
  const auto wine = userRegistry(files, readEnvironment().winePrefix);
  auto key = OpenRegKey(*wine, "HKEY_CURRENT_USER\\Software\\Lumeric\\Tessary");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->getstring("root"), "/games/v");
  key.reset();
}

}  // namespace
}  // namespace vh
