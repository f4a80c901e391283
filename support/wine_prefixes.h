// The Wine prefixes where Linux players keep Windows games besides their
// own WINEPREFIX: Steam's Proton prefixes, Lutris's and Bottles'. A game
// installed through one of them has its registry key in that prefix only.
#pragma once

#include <string>
#include <vector>

namespace vh {

class FileSystem;

// The prefixes under `home`, the player's home folder as the program read
// it at its start ("" searches nothing: nothing below the program looks into
// a home folder it was not handed), each a folder holding a user.reg, once each
// (a folder reached through two links counts once) and never `ownPrefix`:
// - every Steam library's steamapps/compatdata/*/pfx, the libraries being
//   the Steam folders ~/.local/share/Steam and ~/.steam/steam themselves and
//   every folder their steamapps/libraryfolders.vdf lists;
// - Lutris's ~/Games/*/ and the folder of every "prefix:" line of
//   ~/.config/lutris/games/*.yml;
// - Bottles' ~/.local/share/bottles/bottles/*/ and the same under its
//   Flatpak home, ~/.var/app/com.usebottles.bottles/data.
// Within each place names are taken in sorted order, so the list is the
// same on every run.
// The Steam and Lutris files that name them are read through `files`.
std::vector<std::string> otherWinePrefixes(FileSystem& files, const std::string& home, const std::string& ownPrefix);

// The folder of a "prefix:" line of a Lutris game file, as written: quotes
// removed and a leading "~" made `home`; "" for any other line.
std::string lutrisPrefixLine(const std::string& line, const std::string& home);

// The host folder that drive `letter` of a Windows path stands for in
// `prefix`: its dosdevices link, or for drive C its drive_c when the prefix
// has no dosdevices link for it.
std::string wineDriveFolder(const std::string& prefix, char letter);

}  // namespace vh
