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
constexpr uint16_t kZipVersion = 20;  // 2.0: what a stored member needs
constexpr uint16_t kStored = 0;
// 1 January 2000, 00:00, in the DOS date and time the headers carry.
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = (20 << 9) | (1 << 5) | 1;

uint32_t crcOf(const std::string& bytes) {
  return static_cast<uint32_t>(
      crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// What the local and the central header share, from the version needed on.
void appendMemberFields(std::string& out, const std::string& name, const std::string& data) {
  appendLE16(out, kZipVersion);  // version needed
  appendLE16(out, 0);            // flags
  appendLE16(out, kStored);      // method
  appendLE16(out, kDosTime);
  appendLE16(out, kDosDate);
  appendLE32(out, crcOf(data));
  appendLE32(out, static_cast<uint32_t>(data.size()));  // packed size
  appendLE32(out, static_cast<uint32_t>(data.size()));  // unpacked size
  appendLE16(out, static_cast<uint16_t>(name.size()));
  appendLE16(out, 0);  // extra field length
}

}  // namespace

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
  std::string out;
  std::string directory;
  for (const auto& [name, data] : members) {
    const auto localOffset = static_cast<uint32_t>(out.size());
    appendLE32(out, kLocalHeaderMagic);
    appendMemberFields(out, name, data);
    out += name;
    out += data;

    appendLE32(directory, kCentralHeaderMagic);
    appendLE16(directory, kZipVersion);  // version made by
    appendMemberFields(directory, name, data);
    appendLE16(directory, 0);  // comment length
    appendLE16(directory, 0);  // disk number
    appendLE16(directory, 0);  // internal attributes
    appendLE32(directory, 0);  // external attributes
    appendLE32(directory, localOffset);
    directory += name;
  }
  const auto directoryOffset = static_cast<uint32_t>(out.size());
  out += directory;
  appendLE32(out, kEndRecordMagic);
  appendLE16(out, 0);  // this disk
  appendLE16(out, 0);  // the directory's disk
  // A directory of more entries than 16 bits can count says 0xFFFF, as
  // writers without zip64 records do; readers then walk it to its end.
  const auto count = static_cast<uint16_t>(std::min<size_t>(members.size(), 0xFFFF));
  appendLE16(out, count);
  appendLE16(out, count);
  appendLE32(out, static_cast<uint32_t>(directory.size()));
  appendLE32(out, directoryOffset);
  appendLE16(out, 0);  // comment length
  return out;
}

}  // namespace vh::fixture
