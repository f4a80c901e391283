#include "formats/xarc_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/stream.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::Bytes;

struct Entry {
  std::string name;
  int32_t length;
  int32_t flag;
  int64_t offset;
  bool isRecordFile;
};

struct Case {
  const char* what;
  std::string bytes;
  // Expected when the table reads:
  std::vector<Entry> entries;
  int64_t tableEnd = 0;
  int64_t savedTableEnd = 0;
  std::string headerGap;
  // Otherwise a part of the BadSize fault's detail.
  std::optional<std::string> fault = std::nullopt;
};

// Every entry is 9 bytes plus its name: name, 0 byte, length, flag.
std::vector<Case> cases() {
  return {
      {"packed against headerlength",
       Bytes().i32(5).i32(2).i32(12 + 10 + 14).cstr("a").i32(3).i32(7).cstr("s.XRC").i32(2).i32(0).str("AAAxx"),
       {{"a", 3, 7, 36, false}, {"s.XRC", 2, 0, 39, true}},
       36,
       36,
       ""},
      {"a gap before the data",
       Bytes().i32(5).i32(1).i32(12 + 10 + 4).cstr("a").i32(1).i32(0).str("GAP!").str("A"),
       {{"a", 1, 0, 26, false}},
       22,
       22,
       "GAP!"},
      // The carriage return is read and dropped: the table stops a byte
      // later than it ends once written back.
      {"a carriage return in a name",
       Bytes().i32(5).i32(1).i32(12 + 13).cstr("a\r.b").i32(1).i32(0).str("A"),
       {{"a.b", 1, 0, 25, false}},
       25,
       24,
       ""},
      // Two entries announced, one there: the second reads as an empty
      // name and zero length at the end of the file, and would run past
      // headerlength written out in full.
      {"a table cut short",
       Bytes().i32(5).i32(2).i32(12 + 10).cstr("a").i32(0).i32(0),
       {{"a", 0, 0, 22, false}, {"", 0, 0, 22, false}},
       22,
       31,
       ""},
      {"a record file cut short by the end",
       Bytes().i32(5).i32(1).i32(12 + 14).cstr("s.xrc").i32(100).i32(0).str("tree"),
       {{"s.xrc", 100, 0, 26, true}},
       26,
       26,
       ""},
      {"a plain member one byte past the end",
       Bytes().i32(5).i32(1).i32(12 + 10).cstr("a").i32(3).i32(0).str("AA"),
       {},
       0,
       0,
       "",
       "member 0 of 3 bytes at offset 22 reaches past the end of a file of 24 bytes"},
      {"a count the bytes cannot back", Bytes().i32(5).i32(70).i32(12).str("x"), {}, 0, 0, "",
       "member count 70 is more than 13 bytes can hold"},
      {"a negative count", Bytes().i32(5).i32(-1).i32(12), {}, 0, 0, "", "member count -1"},
      {"a negative headerlength", Bytes().i32(5).i32(1).i32(-4).cstr("a").i32(0).i32(0), {}, 0, 0, "",
       "member 0 of 0 bytes at offset -4 does not fit"},
      // The second entry lies past headerlength, where the first reading
      // stops; its own fault is the one to give, as the whole file says.
      {"an entry past headerlength with a bad length",
       Bytes().i32(5).i32(2).i32(12 + 10).cstr("a").i32(0).i32(0).cstr("b").i32(-5).i32(0),
       {},
       0,
       0,
       "",
       "member 1 of -5 bytes at offset 22 does not fit"},
      {"a table that runs past headerlength",
       Bytes().i32(5).i32(1).i32(16).cstr("abcdef").i32(0).i32(0).str("data"),
       {},
       0,
       0,
       "",
       "member table ends at 27, past headerlength 16"},
  };
}

TEST(XarcTable, ReadsEachEntryWithItsBoundsChecked) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.what);
    const std::string bytes = c.bytes;
    MemoryStream stream(static_cast<const void*>(bytes.data()), bytes.size());
    const Result<XarcTable> table = readXarcTable(stream);
    if (c.fault) {
      ASSERT_FALSE(table.ok());
      EXPECT_EQ(table.fault().kind, FaultKind::BadSize);
      EXPECT_NE(table.fault().detail.find(*c.fault), std::string::npos) << table.fault().detail;
      continue;
    }
    ASSERT_TRUE(table.ok()) << table.fault().detail;
    const XarcTable& t = table.value();
    EXPECT_TRUE(t.headerComplete);
    EXPECT_EQ(t.xrcNo, 5);
    EXPECT_EQ(t.filecount, static_cast<int32_t>(c.entries.size()));
    ASSERT_EQ(t.entries.size(), c.entries.size());
    for (size_t i = 0; i < c.entries.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(t.entries[i].name, c.entries[i].name);
      EXPECT_EQ(t.entries[i].length, c.entries[i].length);
      EXPECT_EQ(t.entries[i].flag, c.entries[i].flag);
      EXPECT_EQ(t.entries[i].offset, c.entries[i].offset);
      EXPECT_EQ(t.entries[i].isRecordFile, c.entries[i].isRecordFile);
    }
    EXPECT_EQ(t.tableEnd, c.tableEnd);
    EXPECT_EQ(t.savedTableEnd, c.savedTableEnd);
    EXPECT_EQ(t.headerGap, c.headerGap);
  }
}

// A file under 12 bytes has no table: what its header holds is read, the
// rest is zeros, and nothing is refused.
TEST(XarcTable, EveryShortHeaderReadsQuietlyWithNoEntries) {
  const std::string header = Bytes().i32(0x04030201).i32(3).i32(40);
  for (size_t size = 0; size < header.size(); ++size) {
    SCOPED_TRACE(size);
    const std::string bytes = header.substr(0, size);
    MemoryStream stream(static_cast<const void*>(bytes.data()), bytes.size());
    const Result<XarcTable> table = readXarcTable(stream);
    ASSERT_TRUE(table.ok());
    EXPECT_FALSE(table.value().headerComplete);
    EXPECT_TRUE(table.value().entries.empty());
    const uint32_t mask = size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
    EXPECT_EQ(static_cast<uint32_t>(table.value().xrcNo), 0x04030201u & mask);
  }
}

}  // namespace
}  // namespace vh
