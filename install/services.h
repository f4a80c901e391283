// What a run of a program hands down to the installer, the builder and the
// toolkit's commands: where messages and debug lines go, who answers the
// installer's questions, the file system, the user's registry and home
// folder. Each program's main builds it once; nothing below reaches for any
// of them another way, and tests hand in their own (a recording reporter, a
// file system that fails after so many bytes).
#pragma once

#include <string>

namespace vh {

class FileSystem;
class InstallerHost;
class RegistryPlatform;
class Reporter;

struct Services {
  Reporter& report;
  InstallerHost& host;
  FileSystem& files;
  RegistryPlatform& registry;
  // The player's home folder, where the other Wine prefixes are looked for
  // and what "~" means in a folder typed at the prompt; "" for none.
  std::string home;
};

}  // namespace vh
