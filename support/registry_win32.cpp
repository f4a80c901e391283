// On Windows the registry operations are advapi32's own, through their wide
// entry points: names and strings are UTF-8 inside the program and UTF-16
// in the registry, so that a game folder such as C:\游戏\Varnhollow reads
// back whole whatever the system's code page. Only the Windows build
// compiles this file.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "common/wide_text_win32.h"
#include "support/registry_platform.h"

namespace vh {

namespace {

constexpr REGSAM kAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS;
// A key name holds at most 255 characters; with its terminating zero the
// enumeration's buffer is one more.
constexpr DWORD kLongestKeyName = 256;

// Handles cross the program as 32-bit values, as the registry's own
// predefined keys do.
HKEY toKey(RegHandle h) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(h))); }
RegHandle fromKey(HKEY k) { return static_cast<RegHandle>(reinterpret_cast<ULONG_PTR>(k)); }

bool isText(uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The data of a text value as the registry keeps it (UTF-16, its zeros
// included) from the UTF-8 bytes the program holds; nothing for bytes that
// are no UTF-8.
std::optional<std::string> storedText(const std::string& utf8) {
  const auto wide = wideText(utf8);
  if (!wide) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(wide->data()), wide->size() * sizeof(wchar_t));
}

// The UTF-8 bytes of a text value's data: its UTF-16 up to the first zero,
// which the registry does not promise, and then one zero byte, as the
// program's strings end.
std::string programText(const std::string& stored, uint32_t type) {
  std::wstring wide(stored.size() / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(wchar_t));
  // A list of strings keeps its inner zeros; the others end at their first.
  if (type != REG_MULTI_SZ) wide.resize(std::min(wide.size(), wide.find(L'\0')));
  while (type == REG_MULTI_SZ && !wide.empty() && wide.back() == L'\0') wide.pop_back();
  std::string utf8 = utf8Text(wide);
  utf8 += '\0';
  if (type == REG_MULTI_SZ) utf8 += '\0';
  return utf8;
}

class WindowsRegistry final : public RegistryPlatform {
 public:
  long openKey(RegHandle parent, const std::string& subKey, RegHandle& key) override {
    const auto name = wideText(subKey);
    if (!name) return ERROR_FILE_NOT_FOUND;
    HKEY out = nullptr;
    const LONG r = RegOpenKeyExW(toKey(parent), name->c_str(), 0, kAccess, &out);
    if (r == ERROR_SUCCESS) key = fromKey(out);
    return r;
  }
  long createKey(RegHandle parent, const std::string& subKey, RegHandle& key) override {
    const auto name = wideText(subKey);
    if (!name) return ERROR_INVALID_PARAMETER;
    HKEY out = nullptr;
    DWORD disposition = 0;
    const LONG r = RegCreateKeyExW(toKey(parent), name->c_str(), 0, const_cast<wchar_t*>(L""), 0, kAccess, nullptr,
                                   &out, &disposition);
    if (r == ERROR_SUCCESS) key = fromKey(out);
    return r;
  }
  long queryValue(RegHandle key, const std::string& name, uint32_t& type, std::string& data) override {
    const auto wideName = wideText(name);
    if (!wideName) return ERROR_FILE_NOT_FOUND;
    DWORD t = 0, size = 0;
    LONG r = RegQueryValueExW(toKey(key), wideName->c_str(), nullptr, &t, nullptr, &size);
    if (r != ERROR_SUCCESS) return r;
    std::string stored(size, '\0');
    r = RegQueryValueExW(toKey(key), wideName->c_str(), nullptr, &t, reinterpret_cast<BYTE*>(stored.data()), &size);
    if (r != ERROR_SUCCESS) return r;
    stored.resize(size);
    data = isText(t) ? programText(stored, t) : stored;
    type = t;
    return r;
  }
  long setValue(RegHandle key, const std::string& name, uint32_t type, const std::string& data) override {
    const auto wideName = wideText(name);
    const auto stored = isText(type) ? storedText(data) : std::optional<std::string>(data);
    if (!wideName || !stored) return ERROR_INVALID_PARAMETER;
    return RegSetValueExW(toKey(key), wideName->c_str(), 0, type, reinterpret_cast<const BYTE*>(stored->data()),
                          static_cast<DWORD>(stored->size()));
  }
  long deleteValue(RegHandle key, const std::string& name) override {
    const auto wideName = wideText(name);
    if (!wideName) return ERROR_FILE_NOT_FOUND;
    return RegDeleteValueW(toKey(key), wideName->c_str());
  }
  long deleteKey(RegHandle parent, const std::string& subKey) override {
    const auto name = wideText(subKey);
    if (!name) return ERROR_FILE_NOT_FOUND;
    return RegDeleteKeyW(toKey(parent), name->c_str());
  }
  long enumKey(RegHandle key, uint32_t index, std::string& name) override {
    wchar_t buffer[kLongestKeyName];
    DWORD size = kLongestKeyName;
    const LONG r = RegEnumKeyExW(toKey(key), index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_SUCCESS) name = utf8Text(std::wstring_view(buffer, size));
    return r;
  }
  long closeKey(RegHandle key) override { return RegCloseKey(toKey(key)); }
};

}  // namespace

std::unique_ptr<RegistryPlatform> userRegistry(FileSystem&, const std::string&) {
  return std::make_unique<WindowsRegistry>();
}

std::vector<std::unique_ptr<RegistryPlatform>> otherUserRegistries(FileSystem&, const std::string&,
                                                                     const std::string&) {
  return {};
}

}  // namespace vh
