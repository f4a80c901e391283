// The registry in Wine's text format. Each hive is kept as the lines of its
// file; reads parse them, writes change only the lines of the value or key
// concerned and put the file back atomically, so every other line survives
// byte for byte.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <vector>

#include "common/bytes.h"
#include "common/files.h"
#include "common/little_endian.h"
#include "common/file_system.h"
#include "common/stream.h"
#include "support/registry_platform.h"
#include "support/wine_hive.h"
#include "support/wine_prefixes.h"

namespace vh {

namespace {

std::string lowerKey(const std::string& s) { return lowerCase(s); }

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted or bracketed text from `at` (just past the opening mark) up
// to `end`, undoing Wine's escapes; UTF-16 escapes come out as UTF-8.
std::string unescape(const std::string& s, size_t& at, char end) {
  std::string out;
  uint32_t pendingHigh = 0;
  while (at < s.size() && s[at] != end) {
    char c = s[at++];
    if (c != '\\' || at >= s.size()) {
      out += c;
      continue;
    }
    c = s[at++];
    switch (c) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'a': out += '\a'; break;
      case 'b': out += '\b'; break;
      case 'e': out += '\x1b'; break;
      case 'f': out += '\f'; break;
      case 'v': out += '\v'; break;
      case 'x': {
        uint32_t unit = 0;
        int digits = 0;
        while (digits < 4 && at < s.size() && hexDigit(s[at]) >= 0) unit = unit * 16 + static_cast<uint32_t>(hexDigit(s[at++])), ++digits;
        if (unit >= 0xD800 && unit < 0xDC00) {
          pendingHigh = unit;
          continue;
        }
        if (unit >= 0xDC00 && unit < 0xE000 && pendingHigh) {
          appendUtf8(out, 0x10000 + ((pendingHigh - 0xD800) << 10) + (unit - 0xDC00));
        } else {
          appendUtf8(out, unit);
        }
        break;
      }
      default:
        if (c >= '0' && c <= '7') {  // octal, up to three digits
          uint32_t v = static_cast<uint32_t>(c - '0');
          for (int k = 0; k < 2 && at < s.size() && s[at] >= '0' && s[at] <= '7'; ++k) v = v * 8 + static_cast<uint32_t>(s[at++] - '0');
          appendUtf8(out, v);
        } else {
          out += c;  // \\ \" \[ \] and the rest stand for themselves
        }
    }
    pendingHigh = 0;
  }
  if (at < s.size()) ++at;  // the closing mark
  return out;
}

// UTF-8 bytes to Wine's escaped text: printable ASCII as it is, the rest as
// UTF-16 units in \x escapes of four digits (a reader takes at most four).
std::string escape(const std::string& utf8, char quote) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = c;
    size_t len = 1;
    if (c >= 0xF0) cp = c & 0x07, len = 4;
    else if (c >= 0xE0) cp = c & 0x0F, len = 3;
    else if (c >= 0xC0) cp = c & 0x1F, len = 2;
    if (len > 1 && i + len <= utf8.size()) {
      for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    } else {
      cp = c, len = 1;  // a stray byte stands for itself
    }
    i += len;
    char buf[16];
    if (cp == '\\' || cp == static_cast<uint32_t>(quote)) {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp >= 0x20 && cp < 0x7F) {
      out += static_cast<char>(cp);
    } else if (cp >= 0x10000) {
      const uint32_t v = cp - 0x10000;
      std::snprintf(buf, sizeof buf, "\\x%04x\\x%04x", 0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF));
      out += buf;
    } else {
      std::snprintf(buf, sizeof buf, "\\x%04x", cp);
      out += buf;
    }
  }
  return out;
}

std::string hexBytes(const std::string& data) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
    if (i) out += ',';
    out += buf;
  }
  return out;
}

struct Hive : HiveText {
  std::string file;  // "" for a hive kept only in memory
  // The file exists but could not be read: reads find nothing in it, and
  // writes are refused rather than put a part of it back as the whole.
  bool unreadable = false;
};

struct Handle {
  RegHandle root;
  std::string path;  // under the hive's top, single backslashes
};

}  // namespace

struct WineRegistry::Impl {
  FileSystem* files = nullptr;  // none in memory
  std::string prefix;
  bool inMemory = false;
  std::map<std::string, Hive> memory;  // by hive name when in memory
  std::map<RegHandle, Handle> handles;
  RegHandle next = 1;

  // Which hive a root lives in, and the key prefix it adds.
  bool locate(RegHandle root, std::string& hive, std::string& top) const {
    if (root == kHkeyCurrentUser) return hive = "user.reg", top = "", true;
    if (root == kHkeyLocalMachine) return hive = "system.reg", top = "", true;
    if (root == kHkeyClassesRoot) return hive = "system.reg", top = "Software\\Classes", true;
    return false;
  }

  Hive load(const std::string& name) const {
    if (inMemory) {
      const auto it = memory.find(name);
      return it == memory.end() ? Hive{} : it->second;
    }
    Hive hive;
    hive.file = prefix + "/" + name;
    Result<HiveText> read = readHiveFile(*files, hive.file);
    if (!read) {
      hive.unreadable = true;
      return hive;
    }
    static_cast<HiveText&>(hive) = std::move(read.value());
    return hive;
  }

  // A running wineserver holds the registry in memory and would write over
  // the file: no change may be made behind its back.
  bool serverRunning() const {
    struct stat info {};
    if (inMemory || stat(prefix.c_str(), &info) != 0) return false;
    char socket[256];
    std::snprintf(socket, sizeof socket, "/tmp/.wine-%u/server-%llx-%llx/socket", static_cast<unsigned>(getuid()),
                  static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino));
    struct stat sock {};
    return stat(socket, &sock) == 0;
  }

  long save(const std::string& name, Hive& hive) {
    if (hive.unreadable) return kRegAccessDenied;
    if (hive.lines.empty() || hive.lines[0].rfind("WINE REGISTRY", 0) != 0) {
      hive.lines.insert(hive.lines.begin(), {"WINE REGISTRY Version 2", ""});
    }
    if (inMemory) {
      memory[name] = hive;
      return kRegOk;
    }
    if (serverRunning()) return kRegAccessDenied;
    const auto out = files->create(hive.file);
    if (!out) return kRegAccessDenied;
    try {
      for (size_t i = 0; i < hive.lines.size(); ++i) {
        out->stream().writeString(hive.lines[i]);
        if (i + 1 < hive.lines.size() || hive.endsWithNewline) out->stream().writeU8('\n');
      }
    } catch (...) {
      return kRegAccessDenied;
    }
    return files->replace(*out, FolderSync::Now) ? kRegOk : kRegAccessDenied;
  }

  static bool sectionName(const std::string& line, std::string& name) {
    if (line.empty() || line[0] != '[') return false;
    size_t at = 1;
    name = unescape(line, at, ']');
    return true;
  }

  // The [first, last) lines of the section of `key` (exact path, ignoring
  // case), or false.
  static bool findSection(const Hive& hive, const std::string& key, size_t& first, size_t& last) {
    const std::string wanted = lowerKey(key);
    for (size_t i = 0; i < hive.lines.size(); ++i) {
      std::string name;
      if (!sectionName(hive.lines[i], name) || lowerKey(name) != wanted) continue;
      first = i;
      last = i + 1;
      while (last < hive.lines.size() && (hive.lines[last].empty() || hive.lines[last][0] != '[')) ++last;
      return true;
    }
    return false;
  }

  // A key exists when its own section or one below it does.
  static bool keyExists(const Hive& hive, const std::string& key) {
    const std::string wanted = lowerKey(key);
    for (const std::string& line : hive.lines) {
      std::string name;
      if (!sectionName(line, name)) continue;
      const std::string lower = lowerKey(name);
      if (lower == wanted || (lower.size() > wanted.size() && lower.compare(0, wanted.size(), wanted) == 0 &&
                              lower[wanted.size()] == '\\')) {
        return true;
      }
    }
    return false;
  }

  // The value lines [first, last) of `name` in a section (continuations
  // included), or false.
  static bool findValue(const Hive& hive, size_t sectionFirst, size_t sectionLast, const std::string& name,
                        size_t& first, size_t& last, std::string& data) {
    const std::string wanted = lowerKey(name);
    for (size_t i = sectionFirst + 1; i < sectionLast; ++i) {
      const std::string& line = hive.lines[i];
      std::string valueName;
      size_t at = 0;
      if (line.rfind("@=", 0) == 0) {
        at = 1;
      } else if (!line.empty() && line[0] == '"') {
        at = 1;
        valueName = unescape(line, at, '"');
      } else {
        continue;
      }
      if (at >= line.size() || line[at] != '=') continue;
      first = i;
      last = i + 1;
      data = line.substr(at + 1);
      // Hex data goes on over lines that end with a backslash.
      while (!data.empty() && data.back() == '\\' && last < sectionLast) {
        data.pop_back();
        std::string more = hive.lines[last++];
        size_t lead = 0;
        while (lead < more.size() && more[lead] == ' ') ++lead;
        data += more.substr(lead);
      }
      if (lowerKey(valueName) == wanted) return true;
    }
    return false;
  }

  static std::string valueLine(const std::string& name, uint32_t type, const std::string& data) {
    std::string line = name.empty() ? "@=" : "\"" + escape(name, '"') + "\"=";
    if (type == kRegSz && !data.empty() && data.back() == '\0') {
      return line + "\"" + escape(data.substr(0, data.size() - 1), '"') + "\"";
    }
    if (type == kRegDword && data.size() == 4) {
      const uint32_t v = loadLE32(reinterpret_cast<const uint8_t*>(data.data()));
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", v);
      return line + buf;
    }
    char head[16];
    std::snprintf(head, sizeof head, type == kRegBinary ? "hex:" : "hex(%x):", type);
    return line + head + hexBytes(data);
  }

  bool resolve(RegHandle key, std::string& hive, std::string& path) const {
    std::string top;
    if (locate(key, hive, top)) return path = top, true;
    const auto it = handles.find(key);
    if (it == handles.end()) return false;
    locate(it->second.root, hive, top);
    path = it->second.path;
    return true;
  }

  static std::string join(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + "\\" + b;
  }

  RegHandle newHandle(RegHandle root, const std::string& path) {
    const RegHandle h = next++;
    handles[h] = {root, path};
    return h;
  }

  RegHandle rootOf(RegHandle key) const {
    if (key >= kHkeyClassesRoot && key <= kHkeyUsers) return key;
    const auto it = handles.find(key);
    return it == handles.end() ? 0 : it->second.root;
  }
};

WineRegistry::WineRegistry() : impl_(std::make_unique<Impl>()) {}

WineRegistry::WineRegistry(FileSystem& files, std::string prefix) : impl_(std::make_unique<Impl>()) {
  impl_->files = &files;
  impl_->prefix = std::move(prefix);
}

std::unique_ptr<WineRegistry> WineRegistry::inMemory() {
  std::unique_ptr<WineRegistry> store(new WineRegistry());
  store->impl_->inMemory = true;
  return store;
}

WineRegistry::~WineRegistry() = default;

long WineRegistry::openKey(RegHandle parent, const std::string& subKey, RegHandle& key) {
  std::string hive, path;
  if (!impl_->resolve(parent, hive, path)) return kRegInvalid;
  const std::string full = Impl::join(path, subKey);
  if (!Impl::keyExists(impl_->load(hive), full)) return kRegNotFound;
  key = impl_->newHandle(impl_->rootOf(parent), full);
  return kRegOk;
}

long WineRegistry::createKey(RegHandle parent, const std::string& subKey, RegHandle& key) {
  std::string hive, path;
  if (!impl_->resolve(parent, hive, path)) return kRegInvalid;
  const std::string full = Impl::join(path, subKey);
  Hive h = impl_->load(hive);
  if (!Impl::keyExists(h, full)) {
    if (!h.lines.empty() && !h.lines.back().empty()) h.lines.push_back("");
    h.lines.push_back("[" + escape(full, ']') + "] " + std::to_string(std::time(nullptr)));
    const long saved = impl_->save(hive, h);
    if (saved != kRegOk) return saved;
  }
  key = impl_->newHandle(impl_->rootOf(parent), full);
  return kRegOk;
}

long WineRegistry::queryValue(RegHandle key, const std::string& name, uint32_t& type, std::string& data) {
  std::string hive, path;
  if (!impl_->resolve(key, hive, path)) return kRegInvalid;
  const Hive h = impl_->load(hive);
  size_t first = 0, last = 0, vFirst = 0, vLast = 0;
  std::string text;
  if (!Impl::findSection(h, path, first, last) || !Impl::findValue(h, first, last, name, vFirst, vLast, text)) {
    return kRegNotFound;
  }
  Result<RegValue> value = parseValueData(text);
  if (!value) return kRegNotFound;
  type = value.value().type;
  data = std::move(value.value().data);
  return kRegOk;
}

long WineRegistry::setValue(RegHandle key, const std::string& name, uint32_t type, const std::string& data) {
  std::string hive, path;
  if (!impl_->resolve(key, hive, path)) return kRegInvalid;
  Hive h = impl_->load(hive);
  size_t first = 0, last = 0;
  if (!Impl::findSection(h, path, first, last)) {
    if (!h.lines.empty() && !h.lines.back().empty()) h.lines.push_back("");
    h.lines.push_back("[" + escape(path, ']') + "] " + std::to_string(std::time(nullptr)));
    first = h.lines.size() - 1;
    last = h.lines.size();
  }
  const std::string line = Impl::valueLine(name, type, data);
  size_t vFirst = 0, vLast = 0;
  std::string old;
  if (Impl::findValue(h, first, last, name, vFirst, vLast, old)) {
    h.lines.erase(h.lines.begin() + static_cast<long>(vFirst), h.lines.begin() + static_cast<long>(vLast));
    h.lines.insert(h.lines.begin() + static_cast<long>(vFirst), line);
  } else {
    size_t at = last;
    while (at > first + 1 && h.lines[at - 1].empty()) --at;  // before the blank line that ends the section
    h.lines.insert(h.lines.begin() + static_cast<long>(at), line);
  }
  return impl_->save(hive, h);
}

long WineRegistry::deleteValue(RegHandle key, const std::string& name) {
  std::string hive, path;
  if (!impl_->resolve(key, hive, path)) return kRegInvalid;
  Hive h = impl_->load(hive);
  size_t first = 0, last = 0, vFirst = 0, vLast = 0;
  std::string old;
  if (!Impl::findSection(h, path, first, last) || !Impl::findValue(h, first, last, name, vFirst, vLast, old)) {
    return kRegNotFound;
  }
  h.lines.erase(h.lines.begin() + static_cast<long>(vFirst), h.lines.begin() + static_cast<long>(vLast));
  return impl_->save(hive, h);
}

long WineRegistry::deleteKey(RegHandle parent, const std::string& subKey) {
  std::string hive, path;
  if (!impl_->resolve(parent, hive, path)) return kRegInvalid;
  const std::string full = Impl::join(path, subKey);
  if (full.empty()) return kRegAccessDenied;
  Hive h = impl_->load(hive);
  std::string child;
  RegHandle probe = impl_->newHandle(impl_->rootOf(parent), full);
  const long hasChild = enumKey(probe, 0, child);
  impl_->handles.erase(probe);
  if (hasChild == kRegOk) return kRegAccessDenied;
  size_t first = 0, last = 0;
  if (!Impl::findSection(h, full, first, last)) return kRegNotFound;
  h.lines.erase(h.lines.begin() + static_cast<long>(first), h.lines.begin() + static_cast<long>(last));
  // A key that only existed through this child keeps existing, as it would
  // in the registry itself: it gets a section of its own.
  const size_t cut = full.rfind('\\');
  if (cut != std::string::npos && !Impl::keyExists(h, full.substr(0, cut))) {
    if (!h.lines.empty() && !h.lines.back().empty()) h.lines.push_back("");
    h.lines.push_back("[" + escape(full.substr(0, cut), ']') + "] " + std::to_string(std::time(nullptr)));
  }
  return impl_->save(hive, h);
}

long WineRegistry::enumKey(RegHandle key, uint32_t index, std::string& name) {
  std::string hive, path;
  if (!impl_->resolve(key, hive, path)) return kRegInvalid;
  const Hive h = impl_->load(hive);
  const std::string prefix = path.empty() ? "" : lowerKey(path) + "\\";
  std::vector<std::string> children;
  std::vector<std::string> seen;
  for (const std::string& line : h.lines) {
    std::string section;
    if (!Impl::sectionName(line, section)) continue;
    if (lowerKey(section).compare(0, prefix.size(), prefix) != 0 || section.size() <= prefix.size()) continue;
    const std::string rest = section.substr(prefix.size());
    const std::string child = rest.substr(0, rest.find('\\'));
    bool dup = false;
    for (const std::string& s : seen) dup = dup || s == lowerKey(child);
    if (dup || child.empty()) continue;
    seen.push_back(lowerKey(child));
    children.push_back(child);
  }
  if (index >= children.size()) return kRegNoMoreItems;
  name = children[index];
  return kRegOk;
}

long WineRegistry::closeKey(RegHandle key) {
  return impl_->handles.erase(key) ? kRegOk : kRegInvalid;
}

std::string WineRegistry::hiveText(RegHandle root) const {
  std::string hive, top;
  if (!impl_->locate(root, hive, top)) return "";
  const Hive h = impl_->load(hive);
  std::string text;
  for (size_t i = 0; i < h.lines.size(); ++i) text += h.lines[i] + (i + 1 < h.lines.size() || h.endsWithNewline ? "\n" : "");
  return text;
}

void WineRegistry::setHiveText(RegHandle root, const std::string& text) {
  std::string hive, top;
  if (!impl_->locate(root, hive, top)) return;
  Hive h;
  static_cast<HiveText&>(h) = splitHiveText(text);
  if (impl_->inMemory) {
    impl_->memory[hive] = h;
  } else {
    h.file = impl_->prefix + "/" + hive;
    impl_->save(hive, h);
  }
}

// ---- reading hives

HiveText splitHiveText(const std::string& text) {
  HiveText hive;
  hive.endsWithNewline = text.empty() || text.back() == '\n';
  hive.lines = split(text, '\n');
  if (hive.endsWithNewline && !hive.lines.empty()) hive.lines.pop_back();
  return hive;
}

Result<HiveText> readHiveFile(FileSystem& files, const std::string& path) {
  switch (files.status(path).kind) {
    case FileKind::Missing:
      return HiveText{};
    case FileKind::File:
      break;
    case FileKind::Folder:
    case FileKind::Other:
      return Fault{FaultKind::CannotOpen, path + " is not a regular file"};
  }
  const Result<std::string> text = readWholeFile(files, path, kMaxHiveSize);
  if (!text && text.fault().kind == FaultKind::BadSize) {
    return Fault{FaultKind::BadSize, path + " is larger than " + std::to_string(kMaxHiveSize >> 20) + " MiB"};
  }
  if (!text) return text.fault();
  return splitHiveText(text.value());
}

Result<RegValue> parseValueData(const std::string& text) {
  const auto damaged = [&] { return Fault{FaultKind::Damaged, "unknown value data: " + text}; };
  RegValue value;
  if (!text.empty() && text[0] == '"') {
    size_t at = 1;
    value.type = kRegSz;
    value.data = unescape(text, at, '"') + '\0';
    return value;
  }
  if (text.rfind("str(", 0) == 0) {
    const size_t close = text.find("):\"");
    if (close == std::string::npos) return damaged();
    value.type = static_cast<uint32_t>(strToInt("$" + text.substr(4, close - 4)));
    size_t at = close + 3;
    value.data = unescape(text, at, '"') + '\0';
    return value;
  }
  if (text.rfind("dword:", 0) == 0) {
    value.type = kRegDword;
    const uint32_t v = static_cast<uint32_t>(strToInt("$" + text.substr(6)));
    for (int i = 0; i < 4; ++i) value.data += static_cast<char>(v >> (8 * i));
    return value;
  }
  size_t colon = 0;
  if (text.rfind("hex:", 0) == 0) {
    value.type = kRegBinary;
    colon = 3;
  } else if (text.rfind("hex(", 0) == 0) {
    const size_t close = text.find("):");
    if (close == std::string::npos) return damaged();
    value.type = static_cast<uint32_t>(strToInt("$" + text.substr(4, close - 4)));
    colon = close + 1;
  } else {
    return damaged();
  }
  for (const std::string& byte : split(text.substr(colon + 1), ',')) {
    if (!byte.empty()) value.data += static_cast<char>(strToInt("$" + byte));
  }
  return value;
}

// ---- the store of a Wine prefix

std::string WineRegistry::driveFolder(char letter) const {
  if (impl_->inMemory) return "";
  return wineDriveFolder(impl_->prefix, letter);
}

std::string WineRegistry::prefixFolder() const { return impl_->inMemory ? "" : impl_->prefix; }

}  // namespace vh
