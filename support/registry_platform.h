// The eight registry operations the key logic stands on, with the results a
// Windows registry gives. Off Windows the store is a registry in Wine's text
// format, so a player who runs the game under Wine is found automatically.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vh {

using RegHandle = uint32_t;

inline constexpr RegHandle kHkeyClassesRoot = 0x80000000;
inline constexpr RegHandle kHkeyCurrentUser = 0x80000001;
inline constexpr RegHandle kHkeyLocalMachine = 0x80000002;
inline constexpr RegHandle kHkeyUsers = 0x80000003;

inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

inline constexpr long kRegOk = 0;
inline constexpr long kRegNotFound = 2;
inline constexpr long kRegAccessDenied = 5;
inline constexpr long kRegInvalid = 87;
inline constexpr long kRegNoMoreItems = 259;

class RegistryPlatform {
 public:
  virtual ~RegistryPlatform() = default;
  virtual long openKey(RegHandle parent, const std::string& subKey, RegHandle& key) = 0;
  virtual long createKey(RegHandle parent, const std::string& subKey, RegHandle& key) = 0;
  // The value's type and bytes (strings end with one zero byte).
  virtual long queryValue(RegHandle key, const std::string& name, uint32_t& type, std::string& data) = 0;
  virtual long setValue(RegHandle key, const std::string& name, uint32_t type, const std::string& data) = 0;
  virtual long deleteValue(RegHandle key, const std::string& name) = 0;
  // Fails while the key has sub-keys.
  virtual long deleteKey(RegHandle parent, const std::string& subKey) = 0;
  virtual long enumKey(RegHandle key, uint32_t index, std::string& name) = 0;
  virtual long closeKey(RegHandle key) = 0;

  // The host folder that drive `letter` (lower case) of a Windows path
  // stands for; "" when such paths are the system's own, as on Windows.
  virtual std::string driveFolder(char letter) const;
  // The Wine prefix whose registry this is; "" for any other store.
  virtual std::string prefixFolder() const;
};

// The Wine prefix of a user whose WINEPREFIX and HOME variables hold these
// values (null when unset): WINEPREFIX when it is set and not empty, else
// HOME/.wine. The program reads the variables once, at its start.
std::string winePrefixOf(const char* winePrefixVariable, const char* homeVariable);

class FileSystem;

// The registry of the user running the program, which its main builds once
// and hands down: on Windows the system's own; elsewhere the Wine store of
// `winePrefix`, read and written through `files`. Nothing below the program
// reads a user's registry unless handed it.
std::unique_ptr<RegistryPlatform> userRegistry(FileSystem& files, const std::string& winePrefix);

// The registries of the other Wine prefixes under `home` where a player may
// keep the game (otherWinePrefixes, support/wine_prefixes.h), never
// `ownPrefix`'s, each read from its hive files through `files`. None on
// Windows: a Windows program, under Wine as well, has its own registry and
// no prefix's files to read.
std::vector<std::unique_ptr<RegistryPlatform>> otherUserRegistries(FileSystem& files, const std::string& home,
                                                                     const std::string& ownPrefix);

// A registry in Wine's text format. With a prefix folder, HKEY_CURRENT_USER
// is its user.reg and HKEY_LOCAL_MACHINE its system.reg, with
// HKEY_CLASSES_ROOT as Software\Classes inside system.reg, read and written
// through `files`. Without one (inMemory), both live in memory only: the
// store the tests use.
class WineRegistry : public RegistryPlatform {
 public:
  WineRegistry(FileSystem& files, std::string prefix);
  static std::unique_ptr<WineRegistry> inMemory();
  ~WineRegistry() override;

  long openKey(RegHandle parent, const std::string& subKey, RegHandle& key) override;
  long createKey(RegHandle parent, const std::string& subKey, RegHandle& key) override;
  long queryValue(RegHandle key, const std::string& name, uint32_t& type, std::string& data) override;
  long setValue(RegHandle key, const std::string& name, uint32_t type, const std::string& data) override;
  long deleteValue(RegHandle key, const std::string& name) override;
  long deleteKey(RegHandle parent, const std::string& subKey) override;
  long enumKey(RegHandle key, uint32_t index, std::string& name) override;
  long closeKey(RegHandle key) override;
  // The prefix's dosdevices link for the drive (its drive_c for C when it
  // has no such link); "" in memory.
  std::string driveFolder(char letter) const override;
  std::string prefixFolder() const override;

  // The text of a hive as it stands (for the in-memory store, and tests).
  std::string hiveText(RegHandle root) const;
  void setHiveText(RegHandle root, const std::string& text);

  struct Impl;

 private:
  WineRegistry();
  std::unique_ptr<Impl> impl_;
};

}  // namespace vh
