#include "patch/game_folder.h"

#include <gtest/gtest.h>

#include <string>

#include "support/registry_platform.h"

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
  EXPECT_EQ(resolveDrivePath("C:/Games/V/"), "C:/Games/V/");  // a registry without a prefix
  WineRegistry prefixed("/tmp/prefix");
  RegistryPlatform* previous = setRegistryPlatform(&prefixed);
  EXPECT_EQ(resolveDrivePath("C:/Games/V/"), "/tmp/prefix/dosdevices/c:/Games/V/");
  EXPECT_EQ(resolveDrivePath("z:/srv/"), "/tmp/prefix/dosdevices/z:/srv/");
  EXPECT_EQ(resolveDrivePath("/srv/game/"), "/srv/game/");
  EXPECT_EQ(resolveDrivePath("1:/x"), "1:/x");
  WineRegistry home(winePrefixOf(nullptr, "/home/player"));
  setRegistryPlatform(&home);
  EXPECT_EQ(resolveDrivePath("D:/x/"), "/home/player/.wine/dosdevices/d:/x/");
  setRegistryPlatform(previous);
}

}  // namespace
}  // namespace vh
