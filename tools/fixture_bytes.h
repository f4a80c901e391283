// The game's files and the translation package built byte by byte, for the
// tests, the benchmarks and `vhtool sample-game`. It shares nothing with the
// program's own writers on purpose: the tests that check those writers
// compare them with what is built here.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vh::fixture {

struct ArchiveMember {
  std::string name;
  std::string data;
  int32_t flag = 0;
};

// A well-formed archive: xrcNo, member count and headerlength, the member
// table (name, 0 byte, length, flag), then the members' data in table
// order; the table ends exactly at headerlength.
std::string archive(const std::vector<ArchiveMember>& members, int32_t xrcNo);

// One record as the record file stores it, lengths taken from the strings.
struct Record {
  uint8_t type1 = 0;
  uint8_t type2 = 0;
  uint16_t id = 0;
  std::string title;
  std::string subString;
  uint16_t childCount = 0;
  uint16_t unkown = 0;
};

std::string record(const Record& record);
// The records as given, which must already be in pre-order.
std::string recordFile(const std::vector<Record>& records);

// A subString embedding `text` behind `prefix`: prefix, 16-bit length, text,
// then the tail a replacement must keep.
std::string embeddedText(const std::string& prefix, const std::string& text, const std::string& tail);

// A zip package of stored (uncompressed) members with their CRCs, local
// headers, central directory and end record, in the order given.
std::string package(const std::vector<std::pair<std::string, std::string>>& members);

// A member as a package stores it: its bytes as stored (a raw deflate stream
// for method 8), with the size and CRC-32 of what they hold.
struct StoredMember {
  std::string name;
  std::string stored;
  uint32_t size = 0;
  uint32_t crc = 0;
  uint16_t method = 0;  // 0 stored, 8 deflated
};

// `data` stored as it is.
StoredMember storedMember(const std::string& name, const std::string& data);
// `head`, then `copies` times `chunk`, deflated without ever being held
// whole: each part is deflated once from an empty window and its stream
// repeated, which inflates to the parts in order. A member of a gigabyte
// costs a few megabytes to make.
StoredMember repeatedMember(const std::string& name, const std::string& head, const std::string& chunk,
                            uint32_t copies);

// How a hostile package bends its layout.
struct Layout {
  // Directory entries under other names for the local header of the member
  // at the given position; minizip wants each name as long as the member's.
  std::vector<std::pair<std::string, size_t>> aliases;
  // The last member's stored bytes run on over the first directory entry:
  // its sizes and CRC-32 are those of all the bytes it then covers.
  bool lastReachesDirectory = false;
};

// A zip package of the members as given, laid out as `layout` says.
std::string packageOf(const std::vector<StoredMember>& members, const Layout& layout = {});

}  // namespace vh::fixture
