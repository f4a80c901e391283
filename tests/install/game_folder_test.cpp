#include "install/game_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/registry_platform.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

TEST(NormalizeGameRoot, TrailingSeparatorsAndBackslashesGiveOneRoot) {
  EXPECT_EQ(normalizeGameRoot("C:\\Games\\Varnhollow\\"), "C:/Games/Varnhollow/");
  EXPECT_EQ(normalizeGameRoot("C:\\Games\\Varnhollow"), "C:/Games/Varnhollow/");
  EXPECT_EQ(normalizeGameRoot("/home/p/game/"), "/home/p/game/");
  EXPECT_EQ(normalizeGameRoot("/home/p/game"), "/home/p/game/");
  EXPECT_EQ(normalizeGameRoot("/"), "/");
  EXPECT_EQ(normalizeGameRoot("C:\\"), "C:/");
}

TEST(ResolveDrivePath, DriveLettersGoThroughTheWinePrefix) {
  const auto none = WineRegistry::inMemory();
  EXPECT_EQ(resolveDrivePath("C:/Games/V/", *none), "C:/Games/V/");  // a registry without a prefix
  WineRegistry prefixed(test::localFiles(), "/tmp/prefix");
  EXPECT_EQ(resolveDrivePath("C:/Games/V/", prefixed), "/tmp/prefix/dosdevices/c:/Games/V/");
  EXPECT_EQ(resolveDrivePath("z:/srv/", prefixed), "/tmp/prefix/dosdevices/z:/srv/");
  EXPECT_EQ(resolveDrivePath("/srv/game/", prefixed), "/srv/game/");
  EXPECT_EQ(resolveDrivePath("1:/x", prefixed), "1:/x");
  WineRegistry home(test::localFiles(), winePrefixOf(nullptr, "/home/player"));
  EXPECT_EQ(resolveDrivePath("D:/x/", home), "/home/player/.wine/dosdevices/d:/x/");
}

TEST(PastedFolder, WhatATerminalPastesBecomesTheFolder) {
  struct Case {
    std::string answer;
    std::string folder;
  };
  const Case cases[] = {
      {"/games/Varnhollow", "/games/Varnhollow"},
      {"  /games/Varnhollow \t \r", "/games/Varnhollow"},
      {"'/games/My Games/Varnhollow' ", "/games/My Games/Varnhollow"},
      {"\"/games/My Games/Varnhollow\"", "/games/My Games/Varnhollow"},
      {"/games/My\\ Games/Var\\(1\\)", "/games/My Games/Var(1)"},
      {"'/games/a\\ b'", "/games/a\\ b"},  // inside quotes a backslash is the folder's own
      {"~", "/home/player"},
      {"~/Games/Varnhollow/", "/home/player/Games/Varnhollow/"},
      {"~other/Games", "~other/Games"},
      {"'~/My Games/x.xarc'", "/home/player/My Games/"},
      {"/games/Varnhollow/X.XARC", "/games/Varnhollow/"},
      {"/games/Varnhollow/x.xarc.bak", "/games/Varnhollow/x.xarc.bak"},
      {"C:\\Games\\Varnhollow\\", "C:\\Games\\Varnhollow\\"},
      {"\"C:\\Games\\Varnhollow\\x.xarc\"", "C:\\Games\\Varnhollow\\"},
      {"'", "'"},
      {"", ""},
      {" \r", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pastedFolder(c.answer, "/home/player"), c.folder) << c.answer;
  }
  EXPECT_EQ(pastedFolder("~/Games", ""), "~/Games");  // no home to stand for
}

TEST(ResolveDrivePath, DriveLettersOfAnotherPrefix) {
  test::TempDir dir;
  const std::string linked = dir / "linked", bare = dir / "bare";
  test::makeFolders(linked + "/dosdevices");
  test::makeFolders(linked + "/drive_c");
  ASSERT_EQ(symlink("../drive_c", (linked + "/dosdevices/c:").c_str()), 0);
  test::makeFolders(bare + "/drive_c");
  EXPECT_EQ(resolveDrivePath("C:/Games/V/", linked), linked + "/dosdevices/c:/Games/V/");
  EXPECT_EQ(resolveDrivePath("C:/Games/V/", bare), bare + "/drive_c/Games/V/");  // no links, drive_c stands for C
  EXPECT_EQ(resolveDrivePath("d:/x/", bare), bare + "/dosdevices/d:/x/");
  EXPECT_EQ(resolveDrivePath("/srv/game/", bare), "/srv/game/");
  EXPECT_EQ(resolveDrivePath("C:/Games/V/", ""), "C:/Games/V/");
}

}  // namespace
}  // namespace vh
