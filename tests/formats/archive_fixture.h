// Hand-built archives and record files for the format and translation tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace vh::test {

struct Member {
  std::string name;
  std::string data;
  int32_t flag = 0;
};

// A well-formed archive: the table ends exactly at headerlength and the file
// ends with the last member's data.
inline std::string makeArchive(const std::vector<Member>& members, int32_t xrcNo = 7) {
  Bytes table;
  for (const Member& m : members) table.cstr(m.name).i32(static_cast<int32_t>(m.data.size())).i32(m.flag);
  Bytes file;
  file.i32(xrcNo).i32(static_cast<int32_t>(members.size())).i32(static_cast<int32_t>(12 + table.size()));
  file.str(table);
  for (const Member& m : members) file.str(m.data);
  return file;
}

// One record as the record file stores it, lengths taken from the strings.
struct Rec {
  uint8_t type1 = 0;
  uint8_t type2 = 0;
  uint16_t id = 0;
  std::string title;
  std::string subString;
  uint16_t childCount = 0;
  uint16_t unkown = 0;
};

inline std::string recordBytes(const Rec& r) {
  Bytes b;
  b.u8(r.type1).u8(r.type2);                                         // type bytes
  b.u16(r.id);                                                       // id
  b.u16(static_cast<uint16_t>(r.title.size())).str(r.title);         // titleLength, title
  b.i32(static_cast<int32_t>(r.subString.size())).str(r.subString);  // subStringLength, subString
  b.u16(r.childCount).u16(r.unkown);                                 // childCount, unkown
  return b;
}

// Records already in pre-order.
inline std::string recordFile(const std::vector<Rec>& records) {
  std::string out;
  for (const Rec& r : records) out += recordBytes(r);
  return out;
}

// A subString embedding `text` after `prefix`: prefix, 16-bit length, text, tail.
inline std::string embedded(const std::string& prefix, const std::string& text, const std::string& tail) {
  Bytes b;
  b.str(prefix).u16(static_cast<uint16_t>(text.size())).str(text).str(tail);
  return b;
}

}  // namespace vh::test
