// A player's machine for end-to-end tests of the real programs: vhtool
// writes a made-up game and working tree, vhpatch sits in a folder of its
// own with the working tree, and a Wine prefix's registry names the game.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace vh::test {

// The heroine's Chinese name as the installer writes it (GBK).
extern const std::string kHeroine;

// A user.reg as wineserver writes it, naming `root` as the game folder.
std::string userReg(const std::string& root);

// A player's machine: the program in a folder with the working tree, the
// game elsewhere, a Wine prefix whose registry names the game folder.
class Installation {
 public:
  explicit Installation(const std::string& registryRoot = "", int seed = 3,
                        const std::string& shape = "--scenes 6 --subs 3");

  // The shell command that runs the installed vhpatch from another folder;
  // an empty `ui` leaves the choice of windows or terminal to the program.
  std::string command(const std::string& args, const std::string& ui = "terminal") const {
    return "cd / && WINEPREFIX='" + prefix + "' " + (ui.empty() ? "" : "VHPATCH_UI=" + ui + " ") + "'" + program +
           "/vhpatch' " + args;
  }

  test::CommandResult vhpatch(const std::string& args, const std::string& input = "") const {
    return test::runCommand(command(args), input);
  }

  std::vector<std::string> archives() const;

  TempDir dir;
  std::string program = dir / "program";
  std::string game = dir / "sample/game";
  std::string original = dir / "original";
  std::string prefix = dir / "prefix";
};

// The new files that writers left unfinished anywhere under `folder`.
std::vector<std::string> leftovers(const std::string& folder);

// Every archive of every scene of the package patched exactly as the library
// computes it, the heroine named, opaque members and extra files in place.
void expectPatched(const Installation& setup);

}  // namespace vh::test
