#include "support/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

// Keys through an in-memory store installed for the test.
class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() : store(WineRegistry::inMemory()) {}
  std::unique_ptr<WineRegistry> store;
};

TEST_F(RegistryTest, PathsSplitAndRootsMatchExactly) {
  EXPECT_EQ(tregkey::ExtractSegments("/HKEY_CURRENT_USER//Software\\Lumeric/"),
            (std::vector<std::string>{"HKEY_CURRENT_USER", "Software", "Lumeric"}));
  EXPECT_EQ(tregkey::PredefinedKey("HKEY_LOCAL_MACHINE"), kHkeyLocalMachine);
  EXPECT_EQ(tregkey::PredefinedKey("hkey_current_user"), 0u);
  ASSERT_NE(CreateRegKey(*store, "HKEY_CURRENT_USER\\Software\\Lumeric\\Tessary"), nullptr);
  EXPECT_NE(OpenRegKey(*store, "HKEY_CURRENT_USER/Software/Lumeric/Tessary"), nullptr);
  EXPECT_NE(OpenRegKey(*store, "\\HKEY_CURRENT_USER\\\\software\\LUMERIC\\Tessary\\"), nullptr);  // names ignore case
  EXPECT_EQ(OpenRegKey(*store, "HKEY_CURRENT_USER"), nullptr);
  EXPECT_EQ(CreateRegKey(*store, "HKEY_CURRENT_USER"), nullptr);
  EXPECT_EQ(OpenRegKey(*store, "hkey_current_user\\Software"), nullptr);
  EXPECT_EQ(OpenRegKey(*store, "HKEY_USERS\\Software"), nullptr);
  auto two = OpenRegKey(*store, "HKEY_CURRENT_USER\\Software");
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->path, "Software");
}

TEST_F(RegistryTest, ValuesReadOnlyAsTheirOwnType) {
  auto key = CreateRegKey(*store, "HKEY_CURRENT_USER\\Software\\Lumeric\\Tessary");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->setstring("root", "C:\\Games\\\xE7\x93\xA6"), 1);
  EXPECT_EQ(key->setint("count", -5), 1);
  EXPECT_EQ(key->setlong("big", 0x123456789ALL), 1);
  EXPECT_EQ(key->setstring("empty", ""), 1);
  EXPECT_EQ(key->getstring("root"), "C:\\Games\\\xE7\x93\xA6");
  EXPECT_EQ(key->getstring("ROOT"), "C:\\Games\\\xE7\x93\xA6");
  EXPECT_EQ(key->getint("count"), -5);
  EXPECT_EQ(key->getlong("big"), 0x123456789ALL);
  EXPECT_EQ(key->getstring("empty"), "");
  EXPECT_EQ(key->getint("root"), 0);
  EXPECT_EQ(key->getstring("count"), "");
  EXPECT_EQ(key->getstring("missing"), "");
  EXPECT_EQ(key->setint("root", 7), 1);  // replaces, whatever the old type
  EXPECT_EQ(key->getstring("root"), "");
  EXPECT_EQ(key->removevalue("root"), 1);
  EXPECT_EQ(key->removevalue("root"), 0);
  key->close();
  EXPECT_EQ(key->getint("count"), 0);
  EXPECT_EQ(key->setint("count", 1), 0);
  EXPECT_EQ(key->removevalue("count"), 0);
}

TEST_F(RegistryTest, RemovingKeysWithAndWithoutWhatIsBelow) {
  ASSERT_NE(CreateRegKey(*store, "HKEY_CURRENT_USER\\Software\\Top\\A\\Deep"), nullptr);
  ASSERT_NE(CreateRegKey(*store, "HKEY_CURRENT_USER\\Software\\Top\\B"), nullptr);
  auto top = OpenRegKey(*store, "HKEY_CURRENT_USER\\Software\\Top");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->remove(0), 0);
  EXPECT_NE(top->handle, 0u);  // still open and usable
  EXPECT_EQ(top->setint("x", 1), 1);
  EXPECT_EQ(top->remove(1), 1);
  EXPECT_EQ(top->handle, 0u);
  EXPECT_EQ(OpenRegKey(*store, "HKEY_CURRENT_USER\\Software\\Top\\A"), nullptr);
  EXPECT_EQ(OpenRegKey(*store, "HKEY_CURRENT_USER\\Software\\Top"), nullptr);
}

TEST(WineRegistryFile, ReadsWhatWineserverWritesAndKeepsEveryOtherLine) {
  TempDir prefix;
  const std::string original =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to \\\\User\\\\S-1-5-21-1-2-3-1000\n"
      "\n"
      "#arch=win64\n"
      "\n"
      "[Control Panel\\\\Desktop] 1733650000\n"
      "#time=1db4a2c3e5f6a70\n"
      "\"DragFullWindows\"=\"0\"\n"
      "\"UserPreferencesMask\"=hex:10,00,02,80,\\\n"
      "  10,00,00,00\n"
      "\n"
      "[Software\\\\Lumeric\\\\Tessary] 1733650000\n"
      "#time=1db4a2c3e5f6a70\n"
      "@=\"default\"\n"
      "\"Root\"=\"Z:\\\\home\\\\p\\\\\\x74e6\\x6069\\\\\"\n"
      "\"Version\"=dword:00000102\n"
      "\"Big\"=hex(b):9a,78,56,34,12,00,00,00\n"
      "\"Path\"=str(2):\"%HOME%\\\\x\"\n"
      "\n"
      "[Software\\\\Wine\\\\Fonts] 1733650000\n"
      "#time=1db4a2c3e5f6a70\n"
      "\"LogPixels\"=dword:00000060\n";
  test::writeFile(prefix / "user.reg", original);
  WineRegistry wine(test::localFiles(), prefix.path());
  {
    auto key = OpenRegKey(wine, "HKEY_CURRENT_USER\\Software\\Lumeric\\Tessary");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->getstring("root"), "Z:\\home\\p\\\xE7\x93\xA6\xE6\x81\xA9\\");
    EXPECT_EQ(key->getstring(""), "default");
    EXPECT_EQ(key->getint("Version"), 0x102);
    EXPECT_EQ(key->getlong("Big"), 0x123456789ALL);
    EXPECT_EQ(key->getstring("Path"), "");  // an expandable string is no plain string
    EXPECT_NE(OpenRegKey(wine, "HKEY_CURRENT_USER\\Control Panel\\Desktop"), nullptr);
    EXPECT_EQ(OpenRegKey(wine, "HKEY_LOCAL_MACHINE\\Software"), nullptr);  // no system.reg here

    // A write changes its own line only, and the file stays readable.
    EXPECT_EQ(key->setstring("Root", "/srv/\xE7\x93\xA6"), 1);
    std::string expected = original;
    expected.replace(expected.find("\"Root\"="), std::string("\"Root\"=\"Z:\\\\home\\\\p\\\\\\x74e6\\x6069\\\\\"").size(),
                     "\"Root\"=\"/srv/\\x74e6\"");
    EXPECT_EQ(test::readFile(prefix / "user.reg"), expected);
    EXPECT_EQ(key->getstring("root"), "/srv/\xE7\x93\xA6");
    EXPECT_EQ(key->setint("Added", 3), 1);
    const std::string after = test::readFile(prefix / "user.reg");
    EXPECT_NE(after.find("\"Path\"=str(2):\"%HOME%\\\\x\"\n\"Added\"=dword:00000003\n\n[Software\\\\Wine"),
              std::string::npos)
        << after;
    EXPECT_EQ(key->removevalue("Added"), 1);
    EXPECT_EQ(test::readFile(prefix / "user.reg"), expected);
  }
}

TEST(WineRegistryFile, NoWritesWhileAWineserverHoldsThePrefix) {
  TempDir prefix;
  const std::string text = "WINE REGISTRY Version 2\n\n[Software\\\\Lumeric\\\\Tessary] 1\n\"root\"=\"/games/v\"\n";
  test::writeFile(prefix / "user.reg", text);
  struct stat info {};
  ASSERT_EQ(stat(prefix.path().c_str(), &info), 0);
  char folder[256];
  std::snprintf(folder, sizeof folder, "/tmp/.wine-%u/server-%llx-%llx", static_cast<unsigned>(getuid()),
                static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino));
  test::makeFolders(folder);
  test::writeFile(std::string(folder) + "/socket", "");
  WineRegistry wine(test::localFiles(), prefix.path());
  {
    auto key = OpenRegKey(wine, "HKEY_CURRENT_USER\\Software\\Lumeric\\Tessary");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->getstring("root"), "/games/v");  // reading is fine
    EXPECT_EQ(key->setstring("root", "/elsewhere"), 0);
    EXPECT_EQ(test::readFile(prefix / "user.reg"), text);
  }
  std::filesystem::remove_all(folder);
}

// The store a program hands in is its only way to a user's registry: the
// library's own default reads no variable and no file.
TEST(WineRegistryFile, TheDefaultStoreIgnoresWinePrefixAndHome) {
  TempDir prefix;
  test::writeFile(prefix / "user.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Lumeric\\\\Tessary] 1\n\"root\"=\"/games/v\"\n");
  test::makeFolders(prefix / "home");
  std::filesystem::create_directory_symlink(prefix.path(), prefix / "home/.wine");
  setenv("WINEPREFIX", prefix.path().c_str(), 1);
  EXPECT_EQ(OpenRegKey("HKEY_CURRENT_USER\\Software\\Lumeric\\Tessary"), nullptr);
  unsetenv("WINEPREFIX");
  setenv("HOME", (prefix / "home").c_str(), 1);
  EXPECT_EQ(OpenRegKey("HKEY_CURRENT_USER\\Software\\Lumeric\\Tessary"), nullptr);
}

}  // namespace
}  // namespace vh
