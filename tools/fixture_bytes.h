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

}  // namespace vh::fixture
