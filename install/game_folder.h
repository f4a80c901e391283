// Where the game lives. The registry value or the folder chooser may give a
// Windows path of a Wine prefix ("C:\Games\Varnhollow\"); on Linux a path
// with a drive letter is looked up through the prefix's dosdevices links.
#pragma once

#include <string>

#include "common/files.h"  // escapesFolder, the rule for paths a package names

namespace vh {

class RegistryPlatform;

// Backslashes become slashes, one trailing "/" is removed unless the path is
// a root, and "/" is appended: "C:\Games\V\" and "C:\Games\V" both give
// "C:/Games/V/".
std::string normalizeGameRoot(const std::string& folder);

// "X:/rest" becomes "<prefix>/dosdevices/x:/rest" for the Wine prefix of
// `registry`; any other path, and any path where the registry has no prefix,
// is returned as it stands.
std::string resolveDrivePath(const std::string& path, const RegistryPlatform& registry);
// The same for the Wine prefix `prefix`, whatever registry is in use.
std::string resolveDrivePath(const std::string& path, const std::string& prefix);

// A folder as a player types or pastes it at the prompt: blanks and a line
// end around it dropped, one pair of surrounding quotes removed, a shell's
// backslash escapes ("My\ Games") undone in an unquoted Unix path, a
// leading "~" made `home`, and the path of "x.xarc" itself made its folder.
// Windows paths keep their backslashes.
std::string pastedFolder(const std::string& answer, const std::string& home);

}  // namespace vh
