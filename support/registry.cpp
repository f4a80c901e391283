#include "support/registry.h"

#include "common/bytes.h"
#include "common/little_endian.h"

namespace vh {

namespace {

bool isPredefined(RegHandle h) { return h >= kHkeyClassesRoot && h <= kHkeyUsers; }

std::unique_ptr<tregkey> openOrCreate(const std::string& path, bool create) {
  const std::vector<std::string> segments = tregkey::ExtractSegments(path);
  if (segments.size() < 2) return nullptr;
  const RegHandle root = tregkey::PredefinedKey(segments[0]);
  std::string sub;
  for (size_t i = 1; i < segments.size(); ++i) sub += (i > 1 ? "\\" : "") + segments[i];
  RegHandle handle = 0;
  RegistryPlatform& platform = registryPlatform();
  const long result = create ? platform.createKey(root, sub, handle) : platform.openKey(root, sub, handle);
  if (result != kRegOk) return nullptr;
  auto key = std::make_unique<tregkey>();
  key->root = root;
  key->handle = handle;
  key->path = sub;
  return key;
}

}  // namespace

std::unique_ptr<tregkey> OpenRegKey(const std::string& path) { return openOrCreate(path, false); }
std::unique_ptr<tregkey> CreateRegKey(const std::string& path) { return openOrCreate(path, true); }

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
  if (registryPlatform().queryValue(handle, name, type, data) != kRegOk) return false;
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
  return registryPlatform().setValue(handle, name, kRegDword, data) == kRegOk ? 1 : 0;
}

int tregkey::setlong(const std::string& name, int64_t value) {
  if (!handle) return 0;
  std::string data;
  appendLE32(data, static_cast<uint32_t>(value));
  appendLE32(data, static_cast<uint32_t>(static_cast<uint64_t>(value) >> 32));
  return registryPlatform().setValue(handle, name, kRegQword, data) == kRegOk ? 1 : 0;
}

int tregkey::setstring(const std::string& name, const std::string& value) {
  if (!handle) return 0;
  return registryPlatform().setValue(handle, name, kRegSz, value + '\0') == kRegOk ? 1 : 0;
}

int tregkey::removevalue(const std::string& name) {
  if (!handle) return 0;
  return registryPlatform().deleteValue(handle, name) == kRegOk ? 1 : 0;
}

int tregkey::remove(int recurse) {
  if (!handle) return 0;
  const bool removed = recurse ? Remove_Recurse(root, path) == 1 : registryPlatform().deleteKey(root, path) == kRegOk;
  if (!removed) return 0;
  close();
  return 1;
}

int tregkey::Remove_Recurse(RegHandle parent, const std::string& subKey) {
  RegistryPlatform& platform = registryPlatform();
  if (platform.deleteKey(parent, subKey) == kRegOk) return 1;
  RegHandle key = 0;
  if (platform.openKey(parent, subKey, key) == kRegOk) {
    // Children are removed from the front until none is left, so the
    // enumeration never skips one that moved up.
    std::string child;
    while (platform.enumKey(key, 0, child) == kRegOk) {
      if (Remove_Recurse(parent, subKey.empty() ? child : subKey + "\\" + child) != 1) break;
    }
    platform.closeKey(key);
  }
  return platform.deleteKey(parent, subKey) == kRegOk ? 1 : 0;
}

int tregkey::close() {
  if (handle && !isPredefined(handle)) registryPlatform().closeKey(handle);
  handle = 0;
  return 0;
}

}  // namespace vh
