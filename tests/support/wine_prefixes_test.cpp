#include "support/wine_prefixes.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;

TEST(OtherWinePrefixes, EveryPlaceOnceInOrderAndOnlyPrefixes) {
  test::TempDir dir;
  const std::string home = dir / "home", steam = home + "/.local/share/Steam", library = dir / "library";
  const auto prefix = [](const std::string& folder) {
    test::makeFolders(folder);
    test::writeFile(folder + "/user.reg", "WINE REGISTRY Version 2\n");
  };
  prefix(steam + "/steamapps/compatdata/20/pfx");
  prefix(library + "/steamapps/compatdata/10/pfx");
  test::makeFolders(library + "/steamapps/compatdata/30/pfx");  // never started: no registry
  // ~/.steam/steam and a second name of the library lead to libraries
  // already searched.
  test::makeFolders(home + "/.steam");
  fs::create_directory_symlink(steam, home + "/.steam/steam");
  fs::create_directory_symlink(library, dir / "library-link");
  test::writeFile(steam + "/steamapps/libraryfolders.vdf",
                  "\"libraryfolders\" { \"0\" { \"path\" \"" + steam + "\" } \"1\" { \"path\" \"" + library +
                      "\" } \"2\" { \"path\" \"" + (dir / "library-link") + "\" } }");
  prefix(home + "/Games/b-game");
  prefix(home + "/Games/a-game");
  test::makeFolders(home + "/Games/not-a-prefix");
  test::makeFolders(home + "/.config/lutris/games");
  prefix(dir / "lutris-elsewhere");
  test::writeFile(home + "/.config/lutris/games/x.yml",
                  "game:\n  prefix: \"" + (dir / "lutris-elsewhere") + "\"\n  exe: x.exe\nwine:\n  prefix: ~/Games/a-game\n");
  prefix(home + "/.local/share/bottles/bottles/Tools");
  prefix(home + "/.var/app/com.usebottles.bottles/data/bottles/bottles/Games");
  prefix(home + "/.wine");

  EXPECT_EQ(otherWinePrefixes(test::localFiles(), home, home + "/Games/b-game"),
            (std::vector<std::string>{steam + "/steamapps/compatdata/20/pfx", library + "/steamapps/compatdata/10/pfx",
                                      home + "/Games/a-game", dir / "lutris-elsewhere",
                                      home + "/.local/share/bottles/bottles/Tools",
                                      home + "/.var/app/com.usebottles.bottles/data/bottles/bottles/Games"}));
  EXPECT_TRUE(otherWinePrefixes(test::localFiles(), "", "").empty());
}

TEST(LutrisPrefixLine, OnlyPrefixLinesNameAFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"  prefix: /home/p/Games/v", "/home/p/Games/v"},
      {"prefix: '/home/p/My Games/v'\r", "/home/p/My Games/v"},
      {"\tprefix:\"~/Games/v\"", "/home/p/Games/v"},
      {"  prefix: ~", "/home/p"},
      {"  wine_prefix: /x", ""},
      {"  exe: prefix: /x", ""},
      {"prefix:", ""},
  };
  for (const auto& [line, folder] : cases) EXPECT_EQ(lutrisPrefixLine(line, "/home/p"), folder) << line;
}

}  // namespace
}  // namespace vh
