// Finding the game through the registry: the player's own Wine prefix
// first, and when its registry does not lead to the game, every other
// prefix where Linux players keep Windows games (support/wine_prefixes.h).
#pragma once

#include <string>
#include <vector>

namespace vh {

struct Services;

struct FoundGame {
  std::string folder;  // a game folder on this system, drive letters resolved
  std::string prefix;  // the Wine prefix whose registry names it; "" off Wine
  std::string shown;   // the folder with every link resolved, as a player knows it
};

struct GameSearch {
  // Game folders (holding "x.xarc"), once each: the one the registry in use
  // names, or else those the other prefixes name, in their order.
  std::vector<FoundGame> found;
  // When nothing was found: the first folder a registry named that holds no
  // game (moved or deleted), as the registry holds it; else "".
  std::string lostFolder;
};

// Reads the value `valueName` of the key `keyPath` in the registry the
// services name, then, if that names no game folder, in each prefix
// otherWinePrefixes lists for their home folder. What it finds goes to
// their debug log.
GameSearch searchGame(const Services& services, const std::string& keyPath, const std::string& valueName);

}  // namespace vh
