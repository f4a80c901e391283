#include "patch/game_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

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
  setenv("WINEPREFIX", "/tmp/prefix", 1);
  EXPECT_EQ(resolveDrivePath("C:/Games/V/"), "/tmp/prefix/dosdevices/c:/Games/V/");
  EXPECT_EQ(resolveDrivePath("z:/srv/"), "/tmp/prefix/dosdevices/z:/srv/");
  EXPECT_EQ(resolveDrivePath("/srv/game/"), "/srv/game/");
  EXPECT_EQ(resolveDrivePath("1:/x"), "1:/x");
  unsetenv("WINEPREFIX");
  const std::string home = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", "/home/player", 1);
  EXPECT_EQ(resolveDrivePath("D:/x/"), "/home/player/.wine/dosdevices/d:/x/");
  setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace vh
