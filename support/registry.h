// Registry keys named by one path whose first segment is a root name
// ("HKEY_CURRENT_USER\Software\Lumeric\Tessary"). Failures never raise:
// they give null keys, 0 and "".
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

  static int Remove_Recurse(RegHandle parent, const std::string& subKey);
  static RegHandle PredefinedKey(const std::string& rootName);
  static std::vector<std::string> ExtractSegments(const std::string& path);

 private:
  bool query(const std::string& name, uint32_t expectedType, std::string& data);
};

std::unique_ptr<tregkey> OpenRegKey(const std::string& path);
std::unique_ptr<tregkey> CreateRegKey(const std::string& path);

}  // namespace vh
