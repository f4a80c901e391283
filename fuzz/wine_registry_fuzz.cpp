// A user.reg through the Wine registry store: read, one value changed,
// written back, read again. The value written must be the value read back,
// and the keys the file had must still be listed.
#include <sys/stat.h>

#include <algorithm>

#include "fuzz/fuzz_targets.h"
#include "support/registry_platform.h"

namespace vh::fuzz {

namespace {

std::vector<std::string> topKeys(WineRegistry& registry) {
  std::vector<std::string> names;
  RegHandle software = 0;
  if (registry.openKey(kHkeyCurrentUser, "Software", software) != kRegOk) return names;
  std::string name;
  for (uint32_t i = 0; i < 4096 && registry.enumKey(software, i, name) == kRegOk; ++i) names.push_back(name);
  registry.closeKey(software);
  return names;
}

}  // namespace

int wineRegistry(const uint8_t* data, size_t size) {
  const std::string prefix = scratchFolder() + "/wine";
  mkdir(prefix.c_str(), 0700);
  writeScratch("wine/user.reg", data, size);
  // Quotes, backslashes, a control byte, a line feed and a character
  // beyond ASCII: every escape the writer has to make and the reader to undo.
  // (The store keeps UTF-16, so only UTF-8 text can come back unchanged.)
  const std::string value = std::string("C:\\Games\\\"Varn\"\x01\xE4\xBD\xA0\n") + '\0';
  std::vector<std::string> before;
  {
    WineRegistry registry(localFileSystem(), prefix);
    before = topKeys(registry);
    RegHandle key = 0;
    if (registry.createKey(kHkeyCurrentUser, "Software\\Fuzz\\Game", key) != kRegOk) return 0;
    const long set = registry.setValue(key, "Path", kRegSz, value);
    registry.closeKey(key);
    if (set != kRegOk) return 0;
  }
  WineRegistry again(localFileSystem(), prefix);
  RegHandle key = 0;
  if (again.openKey(kHkeyCurrentUser, "Software\\Fuzz\\Game", key) != kRegOk) fail("a key written cannot be opened");
  uint32_t type = 0;
  std::string read;
  if (again.queryValue(key, "Path", type, read) != kRegOk) fail("a value written cannot be read");
  if (type != kRegSz || read != value) fail("a value reads back differently");
  again.closeKey(key);
  const std::vector<std::string> after = topKeys(again);
  for (const std::string& name : before) {
    if (std::find(after.begin(), after.end(), name) == after.end() && name != "Fuzz") fail("a key was lost");
  }
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::wineRegistry)
