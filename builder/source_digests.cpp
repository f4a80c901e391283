#include "builder/source_digests.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>
#include <utility>
#include <vector>

#include "common/files.h"
#include "common/file_system.h"
#include "common/stream.h"

namespace vh {

namespace {

// Version 3 came with members in pieces deflated at another memory level:
// the streams a version-2 file vouches for are no longer the ones a build
// from scratch makes, so its records are dropped with it.
constexpr std::string_view kFirstLine = "vhpatch source digests 3";
constexpr size_t kDigestLength = 64;

bool fitsName(std::string_view name) {
  return !name.empty() && name.size() <= SourceDigests::kMaxNameBytes && name.find_first_of("\r\n") == std::string_view::npos;
}

// The next field up to a space; false when there is none.
bool nextField(std::string_view& line, std::string_view& field) {
  const size_t space = line.find(' ');
  if (space == std::string_view::npos || space == 0) return false;
  field = line.substr(0, space);
  line.remove_prefix(space + 1);
  return true;
}

template <typename T>
bool readNumber(std::string_view& line, T& value, int base = 10) {
  std::string_view field;
  if (!nextField(line, field)) return false;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, base);
  return error == std::errc() && end == field.data() + field.size();
}

bool isDigest(std::string_view text) {
  return text.size() == kDigestLength && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// A number in decimal, or in hexadecimal as eight digits, and a space.
template <typename T>
void appendNumber(std::string& text, T value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  text.append(digits, end);
  text += ' ';
}

void appendHex8(std::string& text, uint32_t value) {
  char digits[8];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  text.append(static_cast<size_t>(digits + sizeof digits - end), '0');
  text.append(digits, end);
  text += ' ';
}

// One line: size, modification time, change time, identity, "s" or "u"
// (settled or not), digest, CRC-32, stream offset, stream size, stream
// CRC-32, "p" or "w" (in pieces or whole), then the name, which may hold
// spaces.
std::optional<std::pair<std::string, SourceRecord>> parseLine(std::string_view line) {
  SourceRecord record;
  std::string_view digest, kind, settled;
  if (!readNumber(line, record.size) || !readNumber(line, record.modified) || !readNumber(line, record.changed) ||
      !readNumber(line, record.identity) || !nextField(line, settled) || (settled != "s" && settled != "u") ||
      !nextField(line, digest) || !isDigest(digest) || !readNumber(line, record.crc, 16) ||
      !readNumber(line, record.storedAt) ||
      !readNumber(line, record.storedSize) || !readNumber(line, record.storedCrc, 16) || !nextField(line, kind) ||
      (kind != "p" && kind != "w") || !fitsName(line)) {
    return std::nullopt;
  }
  record.digest = digest;
  record.settled = settled == "s";
  record.pieced = kind == "p";
  return std::make_pair(std::string(line), record);
}

}  // namespace

SourceDigests SourceDigests::parse(std::string_view text) {
  SourceDigests digests;
  size_t at = 0;
  bool first = true;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (first) {
      if (line != kFirstLine) return {};
      first = false;
      continue;
    }
    if (digests.records_.size() >= kMaxRecords) break;
    // A name met twice is doubtful either way: neither record counts.
    if (auto parsed = parseLine(line)) {
      const auto [where, added] = digests.records_.emplace(std::move(parsed->first), std::move(parsed->second));
      if (!added) where->second.digest.clear();
    }
  }
  return digests;
}

SourceDigests SourceDigests::read(FileSystem& files, const std::string& path) {
  const Result<std::string> text = readWholeFile(files, path, kMaxFileBytes);
  if (!text) return {};
  return parse(text.value());
}

std::string SourceDigests::text() const {
  // Some 130 bytes a line beside the name.
  std::string text;
  text.reserve(kFirstLine.size() + 1 + records_.size() * 160);
  text += kFirstLine;
  text += '\n';
  for (const auto& [name, r] : records_) {
    if (r.digest.empty()) continue;
    appendNumber(text, r.size);
    appendNumber(text, r.modified);
    appendNumber(text, r.changed);
    appendNumber(text, r.identity);
    text += r.settled ? "s " : "u ";
    text += r.digest;
    text += ' ';
    appendHex8(text, r.crc);
    appendNumber(text, r.storedAt);
    appendNumber(text, r.storedSize);
    appendHex8(text, r.storedCrc);
    text += r.pieced ? "p " : "w ";
    text += name;
    text += '\n';
  }
  return text;
}

bool SourceDigests::write(FileSystem& files, const std::string& path) const {
  const auto file = files.create(path);
  if (!file) return false;
  const std::string bytes = text();
  try {
    file->stream().write(bytes.data(), bytes.size());
  } catch (const std::exception&) {
    return false;  // the old file stays as it was
  }
  return files.replace(*file, FolderSync::Later);
}

const SourceRecord* SourceDigests::find(const std::string& name) const {
  const auto found = records_.find(name);
  return found == records_.end() || !isDigest(found->second.digest) ? nullptr : &found->second;
}

void SourceDigests::set(const std::string& name, const SourceRecord& record) {
  if (fitsName(name) && isDigest(record.digest) && records_.size() < kMaxRecords) records_[name] = record;
}

bool SourceDigests::settled(const FileStamp& stamp, int64_t nowNs) {
  // A change time ahead of the clock (a clock set back) settles nothing.
  return stamp.changedNs <= nowNs - kSettleNs;
}

bool SourceDigests::sameFile(const SourceRecord& record, const FileStamp& now) {
  return record.settled && record.size == now.size && record.modified == now.modifiedNs &&
         record.changed == now.changedNs && record.identity == now.identity;
}

void SourceDigests::stamp(SourceRecord& record, const FileStamp& taken, int64_t nowNs) {
  record.size = taken.size;
  record.modified = taken.modifiedNs;
  record.changed = taken.changedNs;
  record.identity = taken.identity;
  record.settled = settled(taken, nowNs);
}

}  // namespace vh
