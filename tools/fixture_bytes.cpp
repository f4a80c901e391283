#include "tools/fixture_bytes.h"

#include <algorithm>

#include <zlib.h>

#include "common/little_endian.h"

namespace vh::fixture {

namespace {

constexpr uint32_t kArchiveHeaderSize = 12;

constexpr uint32_t kLocalHeaderMagic = 0x04034B50;
constexpr uint32_t kCentralHeaderMagic = 0x02014B50;
constexpr uint32_t kEndRecordMagic = 0x06054B50;
constexpr uint16_t kZipVersion = 20;  // 2.0: what a stored or deflated member needs
// 1 January 2000, 00:00, in the DOS date and time the headers carry.
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = (20 << 9) | (1 << 5) | 1;

uint32_t crcOf(const std::string& bytes) {
  return static_cast<uint32_t>(
      crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// What the local and the central header share, from the version needed on.
void appendMemberFields(std::string& out, const StoredMember& member) {
  appendLE16(out, kZipVersion);  // version needed
  appendLE16(out, 0);            // flags
  appendLE16(out, member.method);
  appendLE16(out, kDosTime);
  appendLE16(out, kDosDate);
  appendLE32(out, member.crc);
  appendLE32(out, static_cast<uint32_t>(member.stored.size()));  // packed size
  appendLE32(out, member.size);                                   // unpacked size
  appendLE16(out, static_cast<uint16_t>(member.name.size()));
  appendLE16(out, 0);  // extra field length
}

void appendDirectoryEntry(std::string& directory, const StoredMember& member, uint32_t localOffset) {
  appendLE32(directory, kCentralHeaderMagic);
  appendLE16(directory, kZipVersion);  // version made by
  appendMemberFields(directory, member);
  appendLE16(directory, 0);  // comment length
  appendLE16(directory, 0);  // disk number
  appendLE16(directory, 0);  // internal attributes
  appendLE32(directory, 0);  // external attributes
  appendLE32(directory, localOffset);
  directory += member.name;
}

// The raw deflate stream of `bytes` from an empty window, ended by a full
// flush: it refers to nothing before it, so copies of it follow each other.
std::string deflatedPart(const std::string& bytes) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FULL_FLUSH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

StoredMember storedMember(const std::string& name, const std::string& data) {
  return {name, data, static_cast<uint32_t>(data.size()), crcOf(data), 0};
}

StoredMember repeatedMember(const std::string& name, const std::string& head, const std::string& chunk,
                            uint32_t copies) {
  StoredMember member{name, deflatedPart(head), static_cast<uint32_t>(head.size()), crcOf(head), Z_DEFLATED};
  const std::string part = deflatedPart(chunk);
  const uint32_t chunkCrc = crcOf(chunk);
  member.stored.reserve(member.stored.size() + part.size() * copies + 2);
  for (uint32_t k = 0; k < copies; ++k) {
    member.stored += part;
    member.crc = static_cast<uint32_t>(crc32_combine(member.crc, chunkCrc, static_cast<z_off_t>(chunk.size())));
  }
  member.size += static_cast<uint32_t>(chunk.size() * copies);
  // The last block, empty and fixed-coded, ends the stream.
  member.stored += std::string("\x03\x00", 2);
  return member;
}

std::string archive(const std::vector<ArchiveMember>& members, int32_t xrcNo) {
  std::string table;
  for (const ArchiveMember& m : members) {
    table += m.name;
    table += '\0';
    appendLE32(table, static_cast<uint32_t>(m.data.size()));
    appendLE32(table, static_cast<uint32_t>(m.flag));
  }
  std::string out;
  appendLE32(out, static_cast<uint32_t>(xrcNo));
  appendLE32(out, static_cast<uint32_t>(members.size()));
  appendLE32(out, static_cast<uint32_t>(kArchiveHeaderSize + table.size()));  // headerlength
  out += table;
  for (const ArchiveMember& m : members) out += m.data;
  return out;
}

std::string record(const Record& r) {
  std::string out;
  out += static_cast<char>(r.type1);
  out += static_cast<char>(r.type2);
  appendLE16(out, r.id);
  appendLE16(out, static_cast<uint16_t>(r.title.size()));  // titleLength
  out += r.title;
  appendLE32(out, static_cast<uint32_t>(r.subString.size()));  // subStringLength
  out += r.subString;
  appendLE16(out, r.childCount);
  appendLE16(out, r.unkown);
  return out;
}

std::string recordFile(const std::vector<Record>& records) {
  std::string out;
  for (const Record& r : records) out += record(r);
  return out;
}

std::string embeddedText(const std::string& prefix, const std::string& text, const std::string& tail) {
  std::string out = prefix;
  appendLE16(out, static_cast<uint16_t>(text.size()));
  return out + text + tail;
}

std::string package(const std::vector<std::pair<std::string, std::string>>& members) {
  std::vector<StoredMember> stored;
  for (const auto& [name, data] : members) stored.push_back(storedMember(name, data));
  return packageOf(stored);
}

std::string packageOf(const std::vector<StoredMember>& given, const Layout& layout) {
  std::vector<StoredMember> members = given;
  std::string out;
  std::vector<uint32_t> offsets;
  for (size_t k = 0; k < members.size(); ++k) {
    StoredMember& member = members[k];
    std::string written = member.stored;
    if (layout.lastReachesDirectory && k > 0 && k + 1 == members.size()) {
      // The directory's first entry, the first member's, is known before
      // the last member is written; the last member declares its own bytes
      // and that entry as its data, and only its own bytes are written here.
      std::string first;
      appendDirectoryEntry(first, members[0], offsets[0]);
      member = storedMember(member.name, written + first);
    }
    offsets.push_back(static_cast<uint32_t>(out.size()));
    appendLE32(out, kLocalHeaderMagic);
    appendMemberFields(out, member);
    out += member.name;
    out += written;
  }
  std::string directory;
  for (size_t k = 0; k < members.size(); ++k) appendDirectoryEntry(directory, members[k], offsets[k]);
  for (const auto& [name, target] : layout.aliases) {
    StoredMember alias = members.at(target);
    alias.name = name;
    appendDirectoryEntry(directory, alias, offsets.at(target));
  }
  const size_t entries = members.size() + layout.aliases.size();
  const auto directoryOffset = static_cast<uint32_t>(out.size());
  out += directory;
  appendLE32(out, kEndRecordMagic);
  appendLE16(out, 0);  // this disk
  appendLE16(out, 0);  // the directory's disk
  // A directory of more entries than 16 bits can count says 0xFFFF, as
  // writers without zip64 records do; readers then walk it to its end.
  const auto count = static_cast<uint16_t>(std::min<size_t>(entries, 0xFFFF));
  appendLE16(out, count);
  appendLE16(out, count);
  appendLE32(out, static_cast<uint32_t>(directory.size()));
  appendLE32(out, directoryOffset);
  appendLE16(out, 0);  // comment length
  return out;
}

}  // namespace vh::fixture
