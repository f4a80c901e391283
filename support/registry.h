// Registry keys named by one path whose first segment is a root name
// ("HKEY_CURRENT_USER\Software\Lumeric\Tessary"). Failures never raise:
// they give null keys, 0 and "".
//
// A key works on the registry it was opened in, which its opener names.
// The functions without a registry among their parameters keep the
// signatures every caller of a registry facility knows; they use the
// registry the program's main named once (setProgramRegistry), and until
// then none, in which no key exists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/registry_platform.h"

namespace vh {

class tregkey {
 public:
  RegHandle root = 0;
  RegHandle handle = 0;
  std::string path;  // the sub-key path under root, single backslashes

  virtual ~tregkey();
  virtual int removevalue(const std::string& name);
  // With `recurse`, every key below goes too; without, a key with sub-keys
  // stays (0) and remains open.
  virtual int remove(int recurse);
  virtual int32_t getint(const std::string& name);
  virtual int64_t getlong(const std::string& name);
  virtual std::string getstring(const std::string& name);
  virtual int setint(const std::string& name, int32_t value);
  virtual int setlong(const std::string& name, int64_t value);
  virtual int setstring(const std::string& name, const std::string& value);
  virtual int close();

  // In the program's registry.
  static int Remove_Recurse(RegHandle parent, const std::string& subKey);
  static int Remove_Recurse(RegistryPlatform& registry, RegHandle parent, const std::string& subKey);
  static RegHandle PredefinedKey(const std::string& rootName);
  static std::vector<std::string> ExtractSegments(const std::string& path);

 private:
  friend std::unique_ptr<tregkey> OpenRegKey(RegistryPlatform& registry, const std::string& path);
  friend std::unique_ptr<tregkey> CreateRegKey(RegistryPlatform& registry, const std::string& path);
  bool query(const std::string& name, uint32_t expectedType, std::string& data);
  RegistryPlatform& registry() const;

  RegistryPlatform* registry_ = nullptr;  // the one it was opened in
};

std::unique_ptr<tregkey> OpenRegKey(RegistryPlatform& registry, const std::string& path);
std::unique_ptr<tregkey> CreateRegKey(RegistryPlatform& registry, const std::string& path);
// The same in the program's registry.
std::unique_ptr<tregkey> OpenRegKey(const std::string& path);
std::unique_ptr<tregkey> CreateRegKey(const std::string& path);

// Names the registry of the running program, once, at its start; the one
// piece of process state the registry calls keep. Not owned: it must live
// as long as the program.
void setProgramRegistry(RegistryPlatform& registry);

}  // namespace vh
