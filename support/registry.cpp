#include "support/registry.h"

#include "common/bytes.h"
#include "common/little_endian.h"

namespace vh {

namespace {

bool isPredefined(RegHandle h) { return h >= kHkeyClassesRoot && h <= kHkeyUsers; }

// The registry before the program names its own: no key is there, and none
// can be made.
class NoRegistry final : public RegistryPlatform {
 public:
  long openKey(RegHandle, const std::string&, RegHandle&) override { return kRegNotFound; }
  long createKey(RegHandle, const std::string&, RegHandle&) override { return kRegAccessDenied; }
  long queryValue(RegHandle, const std::string&, uint32_t&, std::string&) override { return kRegNotFound; }
  long setValue(RegHandle, const std::string&, uint32_t, const std::string&) override { return kRegInvalid; }
  long deleteValue(RegHandle, const std::string&) override { return kRegInvalid; }
  long deleteKey(RegHandle, const std::string&) override { return kRegNotFound; }
  long enumKey(RegHandle, uint32_t, std::string&) override { return kRegNoMoreItems; }
  long closeKey(RegHandle) override { return kRegInvalid; }
};

RegistryPlatform* programRegistry = nullptr;

RegistryPlatform& programRegistryOrNone() {
  static NoRegistry none;
  return programRegistry ? *programRegistry : none;
}

std::unique_ptr<tregkey> openOrCreate(RegistryPlatform& platform, const std::string& path, bool create) {
  const std::vector<std::string> segments = tregkey::ExtractSegments(path);
  if (segments.size() < 2) return nullptr;
  const RegHandle root = tregkey::PredefinedKey(segments[0]);
  std::string sub;
  for (size_t i = 1; i < segments.size(); ++i) sub += (i > 1 ? "\\" : "") + segments[i];
  RegHandle handle = 0;
  const long result = create ? platform.createKey(root, sub, handle) : platform.openKey(root, sub, handle);
  if (result != kRegOk) return nullptr;
  auto key = std::make_unique<tregkey>();
  key->root = root;
  key->handle = handle;
  key->path = sub;
  return key;
}

}  // namespace

std::string RegistryPlatform::driveFolder(char) const { return ""; }

std::string RegistryPlatform::prefixFolder() const { return ""; }

std::string winePrefixOf(const char* winePrefixVariable, const char* homeVariable) {
  if (winePrefixVariable && *winePrefixVariable) return winePrefixVariable;
  return std::string(homeVariable ? homeVariable : "") + "/.wine";
}

std::unique_ptr<tregkey> OpenRegKey(RegistryPlatform& registry, const std::string& path) {
  auto key = openOrCreate(registry, path, false);
  if (key) key->registry_ = &registry;
  return key;
}

std::unique_ptr<tregkey> CreateRegKey(RegistryPlatform& registry, const std::string& path) {
  auto key = openOrCreate(registry, path, true);
  if (key) key->registry_ = &registry;
  return key;
}

std::unique_ptr<tregkey> OpenRegKey(const std::string& path) { return OpenRegKey(programRegistryOrNone(), path); }
std::unique_ptr<tregkey> CreateRegKey(const std::string& path) { return CreateRegKey(programRegistryOrNone(), path); }

void setProgramRegistry(RegistryPlatform& registry) { programRegistry = &registry; }

RegistryPlatform& tregkey::registry() const { return registry_ ? *registry_ : programRegistryOrNone(); }

tregkey::~tregkey() { close(); }

std::vector<std::string> tregkey::ExtractSegments(const std::string& path) {
  std::vector<std::string> segments;
  std::string clean = path;
  for (char& c : clean) {
    if (c == '/') c = '\\';
  }
  for (std::string& piece : split(clean, '\\')) {
    if (!piece.empty()) segments.push_back(std::move(piece));
  }
  return segments;
}

RegHandle tregkey::PredefinedKey(const std::string& rootName) {
  if (rootName == "HKEY_CLASSES_ROOT") return kHkeyClassesRoot;
  if (rootName == "HKEY_CURRENT_USER") return kHkeyCurrentUser;
  if (rootName == "HKEY_LOCAL_MACHINE") return kHkeyLocalMachine;
  if (rootName == "HKEY_USERS") return kHkeyUsers;
  return 0;
}

bool tregkey::query(const std::string& name, uint32_t expectedType, std::string& data) {
  if (!handle) return false;
  uint32_t type = 0;
  if (registry().queryValue(handle, name, type, data) != kRegOk) return false;
  return type == expectedType;
}

int32_t tregkey::getint(const std::string& name) {
  std::string data;
  if (!query(name, kRegDword, data) || data.size() < 4) return 0;
  return static_cast<int32_t>(loadLE32(reinterpret_cast<const uint8_t*>(data.data())));
}

int64_t tregkey::getlong(const std::string& name) {
  std::string data;
  if (!query(name, kRegQword, data) || data.size() < 8) return 0;
  return static_cast<int64_t>(loadLE64(reinterpret_cast<const uint8_t*>(data.data())));
}

std::string tregkey::getstring(const std::string& name) {
  std::string data;
  if (!query(name, kRegSz, data)) return "";
  const size_t zero = data.find('\0');
  return zero == std::string::npos ? data : data.substr(0, zero);
}

int tregkey::setint(const std::string& name, int32_t value) {
  if (!handle) return 0;
  std::string data;
  appendLE32(data, static_cast<uint32_t>(value));
  return registry().setValue(handle, name, kRegDword, data) == kRegOk ? 1 : 0;
}

int tregkey::setlong(const std::string& name, int64_t value) {
  if (!handle) return 0;
  std::string data;
  appendLE32(data, static_cast<uint32_t>(value));
  appendLE32(data, static_cast<uint32_t>(static_cast<uint64_t>(value) >> 32));
  return registry().setValue(handle, name, kRegQword, data) == kRegOk ? 1 : 0;
}

int tregkey::setstring(const std::string& name, const std::string& value) {
  if (!handle) return 0;
  return registry().setValue(handle, name, kRegSz, value + '\0') == kRegOk ? 1 : 0;
}

int tregkey::removevalue(const std::string& name) {
  if (!handle) return 0;
  return registry().deleteValue(handle, name) == kRegOk ? 1 : 0;
}

int tregkey::remove(int recurse) {
  if (!handle) return 0;
  const bool removed =
      recurse ? Remove_Recurse(registry(), root, path) == 1 : registry().deleteKey(root, path) == kRegOk;
  if (!removed) return 0;
  close();
  return 1;
}

int tregkey::Remove_Recurse(RegHandle parent, const std::string& subKey) {
  return Remove_Recurse(programRegistryOrNone(), parent, subKey);
}

int tregkey::Remove_Recurse(RegistryPlatform& platform, RegHandle parent, const std::string& subKey) {
  if (platform.deleteKey(parent, subKey) == kRegOk) return 1;
  RegHandle key = 0;
  if (platform.openKey(parent, subKey, key) == kRegOk) {
    // Children are removed from the front until none is left, so the
    // enumeration never skips one that moved up.
    std::string child;
    while (platform.enumKey(key, 0, child) == kRegOk) {
      if (Remove_Recurse(platform, parent, subKey.empty() ? child : subKey + "\\" + child) != 1) break;
    }
    platform.closeKey(key);
  }
  return platform.deleteKey(parent, subKey) == kRegOk ? 1 : 0;
}

int tregkey::close() {
  if (handle && !isPredefined(handle)) registry().closeKey(handle);
  handle = 0;
  return 0;
}

}  // namespace vh
