#include "backup/backup_records.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <set>

#include "common/files.h"

namespace vh {

namespace {

constexpr const char* kPiecesMagic = "vhpatch pieces 1";
constexpr const char* kManifestMagicV1 = "vhpatch backup 1";
constexpr const char* kManifestMagicV2 = "vhpatch backup 2";
constexpr const char* kManifestMagicV3 = "vhpatch backup 3";
constexpr const char* kManifestMagic = "vhpatch backup 4";
constexpr const char* kManifestEnd = "end";
constexpr const char* kBlockEnd = ">>";
constexpr size_t kDigestDigits = 64;
constexpr size_t kPiecesNameDigits = 32;
constexpr size_t kCrcDigits = 8;
// More digits could overflow 64 bits; no file the backup knows is that long.
constexpr size_t kMaxNumberDigits = 19;

Fault damaged(const std::string& what) { return Fault{FaultKind::Damaged, what}; }

bool isLowerHex(std::string_view text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool isDigest(std::string_view text) { return text.size() == kDigestDigits && isLowerHex(text); }

std::optional<uint64_t> number(std::string_view text) {
  if (text.empty() || text.size() > kMaxNumberDigits) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

std::optional<int64_t> signedNumber(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  const auto magnitude = number(negative ? text.substr(1) : text);
  if (!magnitude || *magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
  return negative ? -static_cast<int64_t>(*magnitude) : static_cast<int64_t>(*magnitude);
}

// A path exactly as the installer writes it: one it may write to, already in
// its normalised form. Anything else was not written by an installation.
bool isGamePath(std::string_view path) {
  const auto normal = pathInFolder(path);
  return normal && *normal == path;
}

std::optional<FileStamp> stampFrom(std::string_view text) {
  std::string_view parts[4];
  for (size_t k = 0; k < 4; ++k) {
    const size_t space = text.find(' ');
    if ((space == std::string_view::npos) != (k == 3)) return std::nullopt;
    parts[k] = text.substr(0, space);
    if (space != std::string_view::npos) text.remove_prefix(space + 1);
  }
  const auto size = number(parts[0]), identity = number(parts[3]);
  const auto modified = signedNumber(parts[1]), changed = signedNumber(parts[2]);
  if (!size || !modified || !changed || !identity) return std::nullopt;
  return FileStamp{*size, *modified, *changed, *identity};
}

std::string stampText(const FileStamp& stamp) {
  return std::to_string(stamp.size) + " " + std::to_string(stamp.modifiedNs) + " " +
         std::to_string(stamp.changedNs) + " " + std::to_string(stamp.identity);
}

struct KeyValue {
  std::string_view key, value;
};

std::optional<KeyValue> keyValue(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyValue{line.substr(0, equals), line.substr(equals + 1)};
}

// The lines of a text whose lines end in LF (and, for the manifest, CR LF):
// each line without its end; `whole` tells whether the text ended with a
// line end.
class Lines {
 public:
  Lines(std::string_view text, bool dropCr) : rest_(text), dropCr_(dropCr) {}
  bool next(std::string_view& line) {
    if (rest_.empty()) return false;
    const size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    whole_ = end != std::string_view::npos;
    rest_ = whole_ ? rest_.substr(end + 1) : std::string_view();
    if (dropCr_ && whole_ && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }
  bool whole() const { return whole_; }
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
  bool dropCr_;
  bool whole_ = true;
};

}  // namespace

bool isPiecesName(std::string_view name) {
  const std::string_view extension = kPiecesExtension;
  return name.size() == kPiecesNameDigits + extension.size() && name.ends_with(extension) &&
         isLowerHex(name.substr(0, kPiecesNameDigits));
}

Result<PiecesHeader> readPiecesHeader(std::string_view text, uint64_t fileSize) {
  Lines lines(text, false);
  std::string_view line;
  if (!lines.next(line) || !lines.whole() || line != kPiecesMagic) return damaged("not a pieces file");
  PiecesFile pieces;
  bool path = false, original = false, installed = false;
  uint64_t kept = 0;
  for (;;) {
    if (!lines.next(line) || !lines.whole()) return damaged("cut short before its data");
    if (line == "data") break;
    const auto field = keyValue(line);
    if (!field) return damaged("a line without a key");
    const std::string_view key = field->key, value = field->value;
    if (key == "path" && !path) {
      if (!isGamePath(value)) return damaged("path refused: " + std::string(value));
      pieces.path = value;
      path = true;
    } else if (key == "original" && !original) {
      if (!value.empty() && !isDigest(value)) return damaged("original is no digest");
      pieces.original = value;
      original = true;
    } else if (key == "installed" && !installed) {
      if (!isDigest(value)) return damaged("installed is no digest");
      pieces.installed = value;
      installed = true;
    } else if (key == "copy") {
      const size_t space = value.find(' ');
      const auto from = number(value.substr(0, space));
      const auto length = space == std::string_view::npos ? std::nullopt : number(value.substr(space + 1));
      if (!from || !length) return damaged("copy is no offset and length");
      pieces.steps.push_back({true, *from, *length});
    } else if (key == "keep") {
      const auto length = number(value);
      // The kept bytes follow the header, so no more than the text holds.
      if (!length || *length > fileSize - kept) return damaged("keep is more than the file holds");
      kept += *length;
      pieces.steps.push_back({false, 0, *length});
    } else {
      return damaged("unknown or repeated key: " + std::string(key));
    }
  }
  if (!path || !original || !installed) return damaged("path, original or installed missing");
  // A file the installation added comes back as no file: nothing rebuilds it.
  if (pieces.original.empty() && !pieces.steps.empty()) return damaged("steps for a file that was not there");
  const uint64_t dataAt = text.size() - lines.rest().size();
  if (fileSize < dataAt || kept != fileSize - dataAt) return damaged("kept bytes differ from what keep says");
  return PiecesHeader{std::move(pieces), dataAt};
}

Result<PiecesFile> readPiecesFile(std::string_view text) {
  auto header = readPiecesHeader(text, text.size());
  if (!header) return header.fault();
  PiecesFile pieces = std::move(header.value().fields);
  pieces.data = text.substr(header.value().dataAt);
  return pieces;
}

std::string piecesFileText(const PiecesFile& pieces) {
  std::string text = std::string(kPiecesMagic) + "\npath=" + pieces.path + "\noriginal=" + pieces.original +
                     "\ninstalled=" + pieces.installed + "\n";
  for (const PiecesStep& step : pieces.steps) {
    text += step.copy ? "copy=" + std::to_string(step.from) + " " + std::to_string(step.length) + "\n"
                      : "keep=" + std::to_string(step.length) + "\n";
  }
  return text + "data\n" + std::string(pieces.data);
}

namespace {

// One block of the manifest as it is read: its kind (the first key), the
// keys seen and their values.
struct Block {
  std::string_view kind;
  std::map<std::string_view, std::string_view> fields;
};

// The keys each kind of block holds besides its first; the stamp, the CRC
// and the inputs of a file block, and the inputs of an untouched block, are
// optional.
const std::set<std::string_view>& keysOf(std::string_view kind) {
  static const std::map<std::string_view, std::set<std::string_view>> keys = {
      {"file", {"original", "installed", "pieces", "kept", "stamp", "crc", "inputs"}},
      {"untouched", {"stamp", "inputs"}},
      {"scene", {"inputs"}},
      {"folder", {}},
  };
  return keys.at(kind);
}

std::optional<Fault> takeBlock(const Block& block, Manifest& manifest, std::set<std::string>& pieces) {
  const auto& f = block.fields;
  const std::string_view first = f.at(block.kind);
  for (std::string_view key : keysOf(block.kind)) {
    const bool optional = key == "stamp" || key == "crc" || (key == "inputs" && block.kind != "scene");
    if (!f.count(key) && !optional) {
      return damaged(std::string(block.kind) + " block without " + std::string(key));
    }
  }
  std::optional<FileStamp> stamp;
  if (f.count("stamp")) {
    stamp = stampFrom(f.at("stamp"));
    if (!stamp) return damaged("stamp of " + std::string(first));
  }
  // An archive's inputs say nothing without the stamp they came with. (A
  // scene block's are its own, read below.)
  std::string inputs;
  if (block.kind != "scene" && f.count("inputs")) {
    inputs = f.at("inputs");
    if (manifest.version < 4 || !stamp || !isDigest(inputs)) return damaged("inputs of " + std::string(first));
  }
  if (block.kind == "file") {
    Manifest::File file{std::string(first), std::string(f.at("original")), std::string(f.at("installed")),
                        std::string(f.at("pieces")), 0, stamp, std::nullopt, inputs};
    const auto kept = number(f.at("kept"));
    if (!isGamePath(file.path)) return damaged("path refused: " + file.path);
    if ((!file.original.empty() && !isDigest(file.original)) || !isDigest(file.installed)) {
      return damaged("digest of " + file.path);
    }
    if (!isPiecesName(file.pieces) || !pieces.insert(file.pieces).second) return damaged("pieces of " + file.path);
    if (!kept) return damaged("kept of " + file.path);
    file.kept = *kept;
    if (f.count("crc")) {
      const std::string_view crc = f.at("crc");
      if (manifest.version < 3 || crc.size() != kCrcDigits || !isLowerHex(crc)) return damaged("crc of " + file.path);
      file.crc = static_cast<uint32_t>(std::stoul(std::string(crc), nullptr, 16));
    }
    manifest.files.push_back(std::move(file));
  } else if (block.kind == "untouched") {
    if (!isGamePath(first)) return damaged("path refused: " + std::string(first));
    if (!stamp) return damaged("untouched block without stamp");
    manifest.untouched.push_back({std::string(first), *stamp, inputs});
  } else if (block.kind == "scene") {
    if (first.empty() || !isDigest(f.at("inputs"))) return damaged("scene " + std::string(first));
    if (!manifest.scenes.emplace(first, f.at("inputs")).second) return damaged("scene twice: " + std::string(first));
  } else {
    if (!isGamePath(first)) return damaged("folder refused: " + std::string(first));
    manifest.folders.emplace_back(first);
  }
  return std::nullopt;
}

}  // namespace

Result<Manifest> readManifest(std::string_view text) {
  Lines lines(text, true);
  std::string_view line;
  Manifest manifest;
  if (!lines.next(line) || !lines.whole()) return damaged("not a manifest");
  if (line == kManifestMagicV1) {
    manifest.version = 1;
  } else if (line == kManifestMagicV2) {
    manifest.version = 2;
  } else if (line == kManifestMagicV3) {
    manifest.version = 3;
  } else if (line != kManifestMagic) {
    return damaged("not a manifest of a known version");
  }
  std::optional<Block> block;
  std::set<std::string> pieces;
  // The package and the date come once each, before the first block.
  bool package = false, date = false, blocks = false, ended = false;
  while (lines.next(line)) {
    if (ended || !lines.whole()) return damaged("text after its end or a line cut short");
    if (line == kManifestEnd && manifest.version >= 2 && !block) {
      ended = true;
      continue;
    }
    if (line == kBlockEnd) {
      if (!block) return damaged("a block end without a block");
      if (auto fault = takeBlock(*block, manifest, pieces)) return *fault;
      block.reset();
      continue;
    }
    const auto field = keyValue(line);
    if (!field) return damaged("a line without a key");
    if (block) {
      const auto& allowed = keysOf(block->kind);
      if (!allowed.count(field->key) || !block->fields.emplace(field->key, field->value).second) {
        return damaged("unknown or repeated key in a " + std::string(block->kind) +
                       " block: " + std::string(field->key));
      }
    } else if (field->key == "file" || field->key == "untouched" || field->key == "scene" ||
               (field->key == "folder" && manifest.version >= 2)) {
      block = Block{field->key, {{field->key, field->value}}};
      blocks = true;
    } else if (field->key == "package" && !package && !blocks) {
      if (!field->value.empty() && !isDigest(field->value)) return damaged("package is no digest");
      manifest.package = field->value;
      package = true;
    } else if (field->key == "date" && !date && !blocks) {
      manifest.date = field->value;
      date = true;
    } else {
      return damaged("unknown or repeated key: " + std::string(field->key));
    }
  }
  if (block) return damaged("cut short inside a block");
  // Version 1 has no end line; a later one without it was cut short.
  if (manifest.version >= 2 && !ended) return damaged("cut short before its end");
  return manifest;
}

ManifestWriter::ManifestWriter(std::function<void(std::string_view)> out) : out_(std::move(out)) {
  text_.reserve(kBlock + 4096);
}

void ManifestWriter::line(std::string_view key, std::string_view value) {
  text_.append(key).append("=").append(value).append("\r\n");
}

void ManifestWriter::closeBlock() {
  text_.append(">>\r\n");
  if (text_.size() >= kBlock) {
    out_(text_);
    text_.clear();
  }
}

void ManifestWriter::begin(std::string_view package, std::string_view date) {
  text_.append(kManifestMagic).append("\r\n");
  line("package", package);
  line("date", date);
}

void ManifestWriter::file(const File& f) {
  line("file", f.path);
  line("original", f.original);
  line("installed", f.installed);
  line("pieces", f.pieces);
  char number[24];
  const char* numberEnd = std::to_chars(number, number + sizeof number, f.kept).ptr;
  line("kept", std::string_view(number, static_cast<size_t>(numberEnd - number)));
  if (f.stamp) line("stamp", stampText(*f.stamp));
  if (f.crc) {
    char crc[kCrcDigits + 1];
    std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(*f.crc));
    line("crc", crc);
  }
  if (f.stamp && !f.inputs.empty()) line("inputs", f.inputs);
  closeBlock();
}

void ManifestWriter::untouched(std::string_view path, const FileStamp& stamp, std::string_view inputs) {
  line("untouched", path);
  line("stamp", stampText(stamp));
  if (!inputs.empty()) line("inputs", inputs);
  closeBlock();
}

void ManifestWriter::scene(std::string_view scene, std::string_view inputs) {
  line("scene", scene);
  line("inputs", inputs);
  closeBlock();
}

void ManifestWriter::folder(std::string_view folder) {
  line("folder", folder);
  closeBlock();
}

void ManifestWriter::end() {
  text_.append(kManifestEnd).append("\r\n");
  out_(text_);
  text_.clear();
}

std::string manifestText(const Manifest& manifest) {
  std::string text;
  ManifestWriter writer([&text](std::string_view block) { text.append(block); });
  writer.begin(manifest.package, manifest.date);
  for (const Manifest::File& f : manifest.files) writer.file(ManifestWriter::File::of(f));
  for (const Manifest::Untouched& u : manifest.untouched) writer.untouched(u.path, u.stamp, u.inputs);
  for (const auto& [scene, inputs] : manifest.scenes) writer.scene(scene, inputs);
  for (const std::string& folder : manifest.folders) writer.folder(folder);
  writer.end();
  return text;
}

}  // namespace vh
