// On Windows the registry operations are advapi32's own, through their
// ANSI entry points. Only the Windows build compiles this file.
#include <windows.h>

#include "support/registry_platform.h"

namespace vh {

namespace {

constexpr REGSAM kAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS;

// Handles cross the program as 32-bit values, as the registry's own
// predefined keys do.
HKEY toKey(RegHandle h) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(h))); }
RegHandle fromKey(HKEY k) { return static_cast<RegHandle>(reinterpret_cast<ULONG_PTR>(k)); }

class WindowsRegistry final : public RegistryPlatform {
 public:
  long openKey(RegHandle parent, const std::string& subKey, RegHandle& key) override {
    HKEY out = nullptr;
    const LONG r = RegOpenKeyExA(toKey(parent), subKey.c_str(), 0, kAccess, &out);
    if (r == ERROR_SUCCESS) key = fromKey(out);
    return r;
  }
  long createKey(RegHandle parent, const std::string& subKey, RegHandle& key) override {
    HKEY out = nullptr;
    DWORD disposition = 0;
    const LONG r = RegCreateKeyExA(toKey(parent), subKey.c_str(), 0, const_cast<char*>(""), 0, kAccess, nullptr, &out,
                                   &disposition);
    if (r == ERROR_SUCCESS) key = fromKey(out);
    return r;
  }
  long queryValue(RegHandle key, const std::string& name, uint32_t& type, std::string& data) override {
    DWORD t = 0, size = 0;
    LONG r = RegQueryValueExA(toKey(key), name.c_str(), nullptr, &t, nullptr, &size);
    if (r != ERROR_SUCCESS) return r;
    data.assign(size, '\0');
    r = RegQueryValueExA(toKey(key), name.c_str(), nullptr, &t, reinterpret_cast<BYTE*>(data.data()), &size);
    if (r == ERROR_SUCCESS) {
      data.resize(size);
      type = t;
    }
    return r;
  }
  long setValue(RegHandle key, const std::string& name, uint32_t type, const std::string& data) override {
    return RegSetValueExA(toKey(key), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
  }
  long deleteValue(RegHandle key, const std::string& name) override { return RegDeleteValueA(toKey(key), name.c_str()); }
  long deleteKey(RegHandle parent, const std::string& subKey) override {
    return RegDeleteKeyA(toKey(parent), subKey.c_str());
  }
  long enumKey(RegHandle key, uint32_t index, std::string& name) override {
    char buffer[255];
    DWORD size = sizeof buffer;
    const LONG r = RegEnumKeyExA(toKey(key), index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_SUCCESS) name.assign(buffer, size);
    return r;
  }
  long closeKey(RegHandle key) override { return RegCloseKey(toKey(key)); }
};

}  // namespace

std::unique_ptr<RegistryPlatform> userRegistry(FileSystem&, const std::string&) {
  return std::make_unique<WindowsRegistry>();
}

}  // namespace vh
