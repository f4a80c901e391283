// The installer finding the game where Linux players keep it: in a Steam
// library's Proton prefix, a Lutris prefix or a bottle, with no WINEPREFIX
// set; asking which one when several hold it; and asking, with the old path
// shown, when the registry names a folder the game has left.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/app/installation.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::expectPatched;
using test::Installation;
using test::userReg;

// A player's home folder beside the sample game, with no ~/.wine.
struct Home {
  explicit Home(const Installation& setup) : path(setup.dir / "home") { fs::create_directories(path); }

  // A prefix whose registry names `root`; `dosdevices` lists drive links
  // ("c:" -> "../drive_c") the prefix has.
  void prefix(const std::string& folder, const std::string& root,
              const std::vector<std::pair<std::string, std::string>>& dosdevices = {}) const {
    fs::create_directories(folder + "/drive_c");
    test::writeFile(folder + "/user.reg", userReg(root));
    if (!dosdevices.empty()) fs::create_directories(folder + "/dosdevices");
    for (const auto& [drive, target] : dosdevices) fs::create_directory_symlink(target, folder + "/dosdevices/" + drive);
  }

  // Moves the game to `folder` inside a prefix; the sample's own path
  // becomes a link there, so the game is checked where the test expects it.
  static void moveGame(const Installation& setup, const std::string& folder) {
    fs::create_directories(fs::path(folder).parent_path());
    fs::rename(setup.game, folder);
    fs::create_directory_symlink(folder, setup.game);
  }

  // Steam in ~/.local/share/Steam, ~/.steam/steam a link to it, and its
  // library list naming itself and `library`.
  void steam(const std::string& library) const {
    const std::string steam = path + "/.local/share/Steam";
    fs::create_directories(steam + "/steamapps");
    fs::create_directories(path + "/.steam");
    fs::create_directory_symlink(steam, path + "/.steam/steam");
    test::writeFile(steam + "/steamapps/libraryfolders.vdf",
                    "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam +
                        "\"\n\t\t\"apps\"\n\t\t{\n\t\t}\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + library +
                        "\"\n\t\t\"label\"\t\t\"\"\n\t}\n}\n");
  }

  // vhpatch run with this home and no WINEPREFIX.
  test::CommandResult vhpatch(const Installation& setup, const std::string& args, const std::string& input = "") const {
    return test::runCommand("cd / && env -u WINEPREFIX HOME='" + path + "' VHPATCH_UI=terminal VHPATCH_DEBUG=1 '" +
                                setup.program + "/vhpatch' " + args,
                            input);
  }

  std::string path;
};

// Backslashed Windows path of a host folder through drive Z:, as Wine
// writes a folder outside drive C.
std::string onDriveZ(const std::string& folder) {
  std::string windows = "Z:";
  for (char c : folder) windows += c == '/' ? '\\' : c;
  return windows;
}

TEST(InstallLocate, TheGameIsFoundInAnotherPrefixWithoutWinePrefix) {
  struct Case {
    const char* name;
    // Lays out the home folder and the game; returns the prefix that names it.
    std::function<std::string(const Installation&, const Home&)> arrange;
  };
  const Case cases[] = {
      {"a Proton prefix in the second Steam library, drive C without links",
       [](const Installation& setup, const Home& home) {
         const std::string library = setup.dir / "library2";
         home.steam(library);
         const std::string pfx = library + "/steamapps/compatdata/1357910/pfx";
         home.prefix(pfx, "C:\\Games\\Varnhollow\\");
         Home::moveGame(setup, pfx + "/drive_c/Games/Varnhollow");
         // A Proton prefix of another game, without the key.
         home.prefix(library + "/steamapps/compatdata/220/pfx", "");
         test::writeFile(library + "/steamapps/compatdata/220/pfx/user.reg", "WINE REGISTRY Version 2\n\n");
         return pfx;
       }},
      {"a Lutris prefix named in a game file, drive C through dosdevices",
       [](const Installation& setup, const Home& home) {
         const std::string prefix = home.path + "/lutris-prefixes/varnhollow";
         home.prefix(prefix, "C:\\GOG Games\\Varnhollow", {{"c:", "../drive_c"}});
         Home::moveGame(setup, prefix + "/drive_c/GOG Games/Varnhollow");
         fs::create_directories(home.path + "/.config/lutris/games");
         test::writeFile(home.path + "/.config/lutris/games/varnhollow-1733650000.yml",
                         "game:\n  exe: drive_c/GOG Games/Varnhollow/game.exe\n  prefix: '~/lutris-prefixes/varnhollow'\n"
                         "system: {}\nwine:\n  version: lutris-7.2\n");
         return prefix;
       }},
      {"a bottle of the Flatpak, the game outside the prefix through Z:",
       [](const Installation& setup, const Home& home) {
         const std::string bottle = home.path + "/.var/app/com.usebottles.bottles/data/bottles/bottles/Varnhollow";
         home.prefix(bottle, onDriveZ(setup.game), {{"z:", "/"}});
         return bottle;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation setup;
    const Home home(setup);
    const std::string prefix = c.arrange(setup, home);
    const auto result = home.vhpatch(setup, "makeandapply");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Varnhollow found in the Wine prefix " + prefix + "\n"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("named by the registry of " + prefix), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Please specify"), std::string::npos) << result.err;
    expectPatched(setup);
  }
}

TEST(InstallLocate, SeveralPrefixesWithTheGameAreOfferedByNumber) {
  Installation setup;
  const Home home(setup);
  // A copy of the game in a Proton prefix, the sample itself in a bottle.
  const std::string library = setup.dir / "library2";
  home.steam(library);
  const std::string pfx = library + "/steamapps/compatdata/1357910/pfx";
  home.prefix(pfx, "C:\\Games\\Varnhollow");
  fs::create_directories(pfx + "/drive_c/Games");
  fs::copy(setup.original, pfx + "/drive_c/Games/Varnhollow", fs::copy_options::recursive);
  const std::string bottle = home.path + "/.local/share/bottles/bottles/Games";
  home.prefix(bottle, onDriveZ(setup.game), {{"z:", "/"}});

  const auto result = home.vhpatch(setup, "makeandapply", "2\n");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("Varnhollow is installed in more than one Wine prefix:\n"
                            "1. " + pfx + "/drive_c/Games/Varnhollow (in " + pfx + ")\n"
                            "2. " + setup.game + " (in " + bottle + ")\n"
                            "Please specify your VHW installation (its number or its folder): "),
            std::string::npos)
      << result.err;
  expectPatched(setup);
  // The copy not chosen is as it was.
  for (const std::string& archive : setup.archives()) {
    EXPECT_EQ(test::readFile(pfx + "/drive_c/Games/Varnhollow/" + archive), test::readFile(setup.original + "/" + archive))
        << archive;
  }
}

TEST(InstallLocate, AMovedGameIsAskedForWithTheOldPathAndAPastedPathServes) {
  Installation setup;
  const std::string old = onDriveZ(setup.dir / "moved-away");
  test::writeFile(setup.prefix + "/user.reg", userReg(old));
  // What a terminal gives for the game's x.xarc dropped on it.
  const auto result = setup.vhpatch("makeandapply", "'" + setup.game + "/x.xarc' \n");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("Cannot find Varnhollow in the folder the registry names:" + old + "\n"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("Please specify your VHW installation (it is no longer in " + old + "): "), std::string::npos)
      << result.err;
  expectPatched(setup);
}

// Standard error without the debug lines, which may also follow a prompt
// on its line.
std::string shownToThePlayer(std::string err) {
  for (size_t at; (at = err.find("debug: ")) != std::string::npos;) {
    const size_t end = err.find('\n', at);
    err.erase(at, end == std::string::npos ? std::string::npos : end + 1 - at);
  }
  return err;
}

// In the terminal the game is looked for before the player is asked, and
// the question names the folder and the prefix it was found in: when
// several hold it, the numbered list comes first; when none does, the
// folder is asked for at once. Standard error as the player reads it.
TEST(InstallLocate, TheTerminalNamesTheFolderBeforeThePlayerSaysYes) {
  struct Case {
    const char* name;
    // Lays out the machine; what standard error shows up to and with the
    // question, and the input that answers it.
    std::function<std::pair<std::string, std::string>(const Installation&, const Home&)> arrange;
    bool installs;  // else the question stands alone: the input ended
  };
  const auto question = [](const Installation& setup, const std::string& prefix) {
    return "Press Enter to install the translation into " + fs::canonical(setup.game).string() +
           (prefix.empty() ? "" : " (found in the Wine prefix " + prefix + ")") + "; end the input (Ctrl-D) to quit.\n";
  };
  const Case cases[] = {
      {"the player's own prefix",
       [&](const Installation& setup, const Home& home) {
         home.prefix(home.path + "/.wine", setup.game);
         return std::pair{question(setup, home.path + "/.wine"), std::string("\n")};
       },
       true},
      {"the input ends at the question",
       [&](const Installation& setup, const Home& home) {
         home.prefix(home.path + "/.wine", setup.game);
         return std::pair{question(setup, home.path + "/.wine"), std::string()};
       },
       false},
      {"a bottle",
       [&](const Installation& setup, const Home& home) {
         const std::string bottle = home.path + "/.local/share/bottles/bottles/Games";
         home.prefix(bottle, onDriveZ(setup.game), {{"z:", "/"}});
         return std::pair{question(setup, bottle), std::string("\n")};
       },
       true},
      {"two prefixes",
       [&](const Installation& setup, const Home& home) {
         // A copy of the game in a Proton prefix, listed first.
         const std::string library = setup.dir / "library2";
         home.steam(library);
         const std::string other = library + "/steamapps/compatdata/1357910/pfx";
         home.prefix(other, "C:\\Games\\Varnhollow");
         fs::create_directories(other + "/drive_c/Games");
         fs::copy(setup.original, other + "/drive_c/Games/Varnhollow", fs::copy_options::recursive);
         const std::string bottle = home.path + "/.local/share/bottles/bottles/Games";
         home.prefix(bottle, onDriveZ(setup.game), {{"z:", "/"}});
         return std::pair{"Varnhollow is installed in more than one Wine prefix:\n"
                          "1. " + other + "/drive_c/Games/Varnhollow (in " + other + ")\n"
                          "2. " + setup.game + " (in " + bottle + ")\n"
                          "Please specify your VHW installation (its number or its folder): " +
                              question(setup, bottle),
                          std::string("2\n\n")};
       },
       true},
      {"no prefix knows the game",
       [&](const Installation& setup, const Home&) {
         return std::pair{"Cannot find VHW info in registry. Please specify install path.\n"
                          "Please specify your VHW installation: " + question(setup, ""),
                          setup.game + "\n\n"};
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation setup;
    ASSERT_EQ(setup.vhpatch("make").status, 0);
    const Home home(setup);
    const auto [shown, input] = c.arrange(setup, home);
    const auto result = home.vhpatch(setup, "", input);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string err = shownToThePlayer(result.err);
    if (!c.installs) {
      EXPECT_EQ(err, shown);
      EXPECT_EQ(test::tree(setup.game), test::tree(setup.original));
      continue;
    }
    EXPECT_TRUE(err.starts_with(shown + "Done!\ninstalled: ")) << err << "\nshould start with\n" << shown;
    expectPatched(setup);
  }
}

TEST(InstallLocate, AFolderThatHoldsNoGameEndsBeforeTheQuestion) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const Home home(setup);
  const auto result = home.vhpatch(setup, "", setup.dir / "nothing-here" + "\n\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(shownToThePlayer(result.err),
            "Cannot find VHW info in registry. Please specify install path.\n"
            "Please specify your VHW installation: Cannot find Varnhollow installation.\n");
  EXPECT_EQ(test::tree(setup.game), test::tree(setup.original));
}

}  // namespace
}  // namespace vh
