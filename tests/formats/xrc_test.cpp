#include "formats/xrc.h"

#include <gtest/gtest.h>

#include "tests/formats/archive_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::Bytes;
using test::embedded;
using test::Rec;
using test::recordFile;

// A record file standing at `offset` inside `bytes`, loaded as the archive
// would load it.
std::shared_ptr<tXRC> load(const std::string& bytes, int32_t offset = 0) {
  auto xrc = tXRC::Create("s.xrc", offset, static_cast<int32_t>(bytes.size()) - offset, nullptr);
  MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
  in.seek(static_cast<int64_t>(bytes.size()));  // Load must find its own offset
  xrc->Load(in);
  return xrc;
}

TEST(Xrc, AnEmptyRootIsFourteenBytes) {
  const std::string bytes = recordFile({{}});
  ASSERT_EQ(bytes.size(), 14u);
  auto xrc = load(bytes);
  ASSERT_EQ(xrc->records.size(), 1u);
  xrc->calcLength();
  EXPECT_EQ(xrc->length, 14);
  EXPECT_EQ(test::saved(*xrc), bytes);
}

TEST(Xrc, LoadThenSaveReproducesTheFileByteForByte) {
  // Every field differs from its neighbours so that a swapped or dropped one
  // shows; GBK bytes and a 0 byte inside strings must pass untouched.
  const std::string bytes = recordFile({{9, 6, 0xA1B2, "\xC4\xE3\xBA\xC3", std::string("s\0b", 3), 2, 0xFFFE},
                                        {29, 3, 0x0102, "", embedded("", "line\nnext", "\x01\x02"), 1, 0x8001},
                                        {13, 200, 0xFFFF, "t", embedded(std::string(66, '\x7f'), "x", ""), 0, 0},
                                        {21, 5, 0, "person", "", 0, 7}});
  auto xrc = load(bytes);
  EXPECT_EQ(xrc->damage(), "");
  EXPECT_EQ(test::saved(*xrc), bytes);
  xrc->calcLength();
  EXPECT_EQ(xrc->length, static_cast<int32_t>(bytes.size()));
  const auto records = xrc->getRecordArray();
  EXPECT_EQ(records[0]->data.id, 0xA1B2);
  EXPECT_EQ(records[0]->data.unkown, 0xFFFE);
  EXPECT_EQ(records[0]->data.title, "\xC4\xE3\xBA\xC3");
  EXPECT_EQ(records[0]->data.titleLength, 4);
  EXPECT_EQ(records[1]->data.subStringLength, 2 + 9 + 2);
}

TEST(Xrc, TreeIsListedInPreOrderWithOneBasedIdsAndParents) {
  // root { first { grandchild }, second }
  auto xrc = load(recordFile({{9, 6, 0, "root", "", 2, 0},
                              {23, 0, 0, "first", "", 1, 0},
                              {23, 0, 0, "grandchild", "", 0, 0},
                              {23, 0, 0, "second", "", 0, 0}}));
  const auto r = xrc->getRecordArray();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(xrc->recordcount, 4);
  const std::vector<std::string> titles = {"root", "first", "grandchild", "second"};
  for (size_t i = 0; i < r.size(); ++i) {
    EXPECT_EQ(r[i]->data.title, titles[i]);
    EXPECT_EQ(r[i]->id, static_cast<int32_t>(i + 1));
  }
  EXPECT_EQ(r[0]->parent.lock(), nullptr);
  EXPECT_EQ(r[1]->parent.lock(), r[0]);
  EXPECT_EQ(r[2]->parent.lock(), r[1]);
  EXPECT_EQ(r[3]->parent.lock(), r[0]);
}

TEST(Xrc, LoadStartsAtTheMembersOwnOffsetAndReadsOneTree) {
  const std::string tree = recordFile({{9, 6, 1, "a", "", 1, 0}, {3, 0, 2, "b", "", 0, 0}});
  // Twelve bytes before the member, and a second tree after the first.
  const std::string bytes = "PRECEDING..." + tree + recordFile({{23, 0, 3, "after", "", 0, 0}});
  auto xrc = load(bytes, 12);
  ASSERT_EQ(xrc->records.size(), 2u);
  EXPECT_EQ(test::saved(*xrc), tree);
  xrc->calcLength();
  EXPECT_EQ(xrc->length, static_cast<int32_t>(tree.size()));
}

TEST(Xrc, GetTypeFollowsTheTable) {
  struct Case {
    uint8_t type1, type2;
    int expected;
  };
  const Case cases[] = {{9, 6, 1},  {9, 7, 7},  {29, 0, 2}, {29, 99, 2}, {23, 1, 3}, {37, 0, 3}, {13, 5, 4},
                        {21, 5, 5}, {21, 4, 0}, {21, 0, 0}, {3, 6, 6},   {0, 0, 7},  {255, 6, 7}};
  for (const Case& c : cases) {
    tRecordData d;
    d.type1 = c.type1;
    d.type2 = c.type2;
    EXPECT_EQ(d.getType(), c.expected) << int(c.type1) << "/" << int(c.type2);
  }
}

TEST(Xrc, EveryTruncationReadsQuietlyWithZeros) {
  const std::string bytes = recordFile({{9, 6, 1, "root", "", 2, 3},
                                        {29, 0, 2, "", embedded("", "speech", "tail"), 1, 0},
                                        {23, 0, 3, "leaf", "", 0, 0},
                                        {21, 5, 4, "who", "", 0, 0}});
  for (size_t n = 0; n <= bytes.size(); ++n) {
    SCOPED_TRACE(n);
    auto xrc = load(bytes.substr(0, n));
    EXPECT_EQ(xrc->damage(), "");
    ASSERT_FALSE(xrc->records.empty());
    // Whatever was read is the file's own bytes followed by zeros.
    const std::string out = test::saved(*xrc);
    ASSERT_GE(out.size(), n);
    EXPECT_EQ(out.substr(0, n), bytes.substr(0, n));
    EXPECT_EQ(out.find_first_not_of('\0', n), std::string::npos);
  }
}

TEST(Xrc, DamageIsNamedWithoutAllocatingWhatTheFileClaims) {
  struct Case {
    std::string bytes;
    std::string fault;
  };
  const Case cases[] = {
      {Bytes().u8(29).u8(0).u16(1).u16(0).i32(-1).u16(0).u16(0), "negative subStringLength -1"},
      {Bytes().u8(29).u8(0).u16(1).u16(0).i32(0x7fffffff), "reaches far past the end"},
      {recordFile({{9, 6, 1, "", "", 0xFFFF, 0}}), "children"},
      // The damage lies in the third record, below a sound beginning.
      {recordFile({{9, 6, 1, "", "", 2, 0}, {23, 0, 2, "", "", 0, 0}}) +
           Bytes().u8(29).u8(0).u16(3).u16(0).i32(-7).bytes(),
       "record 3 of s.xrc: negative"},
  };
  for (const Case& c : cases) {
    auto xrc = load(c.bytes);
    EXPECT_NE(xrc->damage().find(c.fault), std::string::npos) << xrc->damage();
    EXPECT_LE(xrc->records.size(), 3u);
  }
}

TEST(Xrc, ZeroFillStaysWithinTheLimit) {
  // Ten bytes are present. A subString of limit - 4 bytes makes the record
  // claim 14 + limit - 4 bytes, exactly the ten plus the limit: still a
  // truncation. One byte more is damage.
  const int64_t limit = tXRC::kZeroFillLimit;
  const std::string fits = Bytes().u8(29).u8(0).u16(1).u16(0).i32(static_cast<int32_t>(limit - 4)).bytes();
  auto xrc = load(fits);
  EXPECT_EQ(xrc->damage(), "");
  EXPECT_EQ(xrc->records.front()->data.subString, std::string(static_cast<size_t>(limit - 4), '\0'));
  const std::string over = Bytes().u8(29).u8(0).u16(1).u16(0).i32(static_cast<int32_t>(limit - 3)).bytes();
  EXPECT_NE(load(over)->damage(), "");
}

TEST(Xrc, AVeryDeepTreeNeedsNoDeepCallStack) {
  // 200000 records, each the only child of the one before.
  constexpr int kDepth = 200000;
  std::string bytes;
  bytes.reserve(kDepth * 14);
  for (int i = 0; i < kDepth; ++i)
    bytes += test::recordBytes({23, 0, 0, "", "", i + 1 < kDepth ? uint16_t{1} : uint16_t{0}, 0});
  auto xrc = load(bytes);
  EXPECT_EQ(xrc->damage(), "");
  const auto r = xrc->getRecordArray();
  ASSERT_EQ(r.size(), static_cast<size_t>(kDepth));
  EXPECT_EQ(r.back()->parent.lock(), r[kDepth - 2]);
  EXPECT_EQ(test::saved(*xrc), bytes);
}

}  // namespace
}  // namespace vh
