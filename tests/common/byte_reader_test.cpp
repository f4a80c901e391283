#include "common/byte_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "common/little_endian.h"

namespace vh {
namespace {

const std::string kSeven("\x01\x02\x03\x04\x05\x06\x07", 7);

TEST(LittleEndian, LowByteFirstBothWays) {
  const uint8_t bytes[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
  EXPECT_EQ(loadLE16(bytes), 0x0201u);
  EXPECT_EQ(loadLE32(bytes), 0x04030201u);
  EXPECT_EQ(loadLE64(bytes), 0x8807060504030201ull);
  uint8_t out[4] = {};
  storeLE32(out, 0xA1B2C3D4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "\xD4\xC3\xB2\xA1");
  std::string appended;
  appendLE16(appended, 0xBEEF);
  appendLE32(appended, 0x01020304u);
  EXPECT_EQ(appended, std::string("\xEF\xBE\x04\x03\x02\x01", 6));
}

// Each read, on the whole seven bytes and on every shorter piece of them:
// the quiet mode fills with zeros and notes it, the checked mode gives
// nothing and stays put.
TEST(ByteReader, QuietReadsZeroFillAndCheckedReadsRefuseAtEveryLength) {
  for (size_t length = 0; length <= kSeven.size(); ++length) {
    SCOPED_TRACE(length);
    const std::string bytes = kSeven.substr(0, length);
    auto expect = [&](size_t at, size_t width) {
      uint32_t value = 0;
      for (size_t i = 0; i < width; ++i) {
        if (at + i < length) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
      }
      return value;
    };

    ByteReader quiet(bytes);
    EXPECT_EQ(quiet.u8(), expect(0, 1));
    EXPECT_EQ(quiet.u16(), expect(1, 2));
    EXPECT_EQ(quiet.u32(), expect(3, 4));
    EXPECT_EQ(quiet.position(), length);
    EXPECT_EQ(quiet.ranShort(), length < 7);
    EXPECT_TRUE(quiet.atEnd());

    ByteReader checked(bytes);
    const auto a = checked.tryU8();
    const auto b = checked.tryU16();
    const auto c = checked.tryU32();
    EXPECT_EQ(a.has_value(), length >= 1);
    EXPECT_EQ(b.has_value(), length >= 3);
    EXPECT_EQ(c.has_value(), length >= 7);
    if (c) {
      EXPECT_EQ(*c, 0x07060504u);
    }
    // A refused read leaves the position where it was.
    EXPECT_EQ(checked.position(), length >= 7 ? 7u : length >= 3 ? 3u : length >= 1 ? 1u : 0u);
    EXPECT_FALSE(checked.ranShort());
  }
}

// The 64-bit reads behind a byte, at every length of the nine bytes: low
// byte first, quiet zeros past the end, checked nothing.
TEST(ByteReader, SixtyFourBitReadsAtEveryLength) {
  const std::string nine("\x01\x11\x22\x33\x44\x55\x66\x77\x88", 9);
  for (size_t length = 0; length <= nine.size(); ++length) {
    SCOPED_TRACE(length);
    const std::string bytes = nine.substr(0, length);
    uint64_t present = 0;
    for (size_t i = 1; i < length; ++i) {
      present |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[i])) << (8 * (i - 1));
    }

    ByteReader quiet(bytes);
    (void)quiet.u8();
    EXPECT_EQ(quiet.u64(), present);
    EXPECT_EQ(quiet.ranShort(), length < 9);

    ByteReader checked(bytes);
    (void)checked.tryU8();
    const auto value = checked.tryU64();
    EXPECT_EQ(value.has_value(), length == 9);
    if (value) {
      EXPECT_EQ(*value, 0x8877665544332211u);
    }
    EXPECT_EQ(checked.position(), length == 9 ? 9u : std::min<size_t>(length, 1));
  }
}

TEST(ByteReader, StringsAndSignedValues) {
  const std::string bytes("ab\xFF\xFF\xFF\xFF", 6);
  ByteReader r(bytes);
  EXPECT_EQ(r.bytes(2), "ab");
  EXPECT_EQ(r.tryI32(), -1);
  EXPECT_EQ(r.bytes(3), std::string(3, '\0'));
  EXPECT_TRUE(r.ranShort());
  ByteReader s(std::string_view("xyz"));
  EXPECT_FALSE(s.tryBytes(4));
  EXPECT_EQ(s.tryBytes(3), "xyz");
}

TEST(ByteReader, CountsAreCheckedByDivisionSoTheyCannotOverflow) {
  const std::string twelve(12, 'x');
  ByteReader r(twelve);
  EXPECT_TRUE(r.holds(3, 4));
  EXPECT_FALSE(r.holds(4, 4));
  EXPECT_TRUE(r.holds(0, 4));
  EXPECT_TRUE(r.holds(1000, 0));
  // 2^62 x 4 wraps to 0 in 64 bits; a multiplying check would accept it.
  EXPECT_FALSE(r.holds(size_t{1} << 62, 4));
  EXPECT_FALSE(r.holds(std::numeric_limits<size_t>::max(), 2));
  (void)r.skip(10);
  EXPECT_TRUE(r.holds(1, 2));
  EXPECT_FALSE(r.holds(1, 3));
}

TEST(ByteReader, MembersAreBoundToTheirOwnLength) {
  ByteReader r(kSeven);
  (void)r.skip(1);
  auto member = r.member(4);
  ASSERT_TRUE(member);
  EXPECT_EQ(r.position(), 5u);
  EXPECT_EQ(member->size(), 4u);
  EXPECT_EQ(member->u32(), 0x05040302u);
  // Inside the member, its end is the end, whatever follows it.
  EXPECT_EQ(member->u8(), 0u);
  EXPECT_TRUE(member->ranShort());
  EXPECT_FALSE(r.ranShort());

  EXPECT_FALSE(r.member(3));
  EXPECT_EQ(r.position(), 5u);
  EXPECT_TRUE(r.member(2));
  EXPECT_TRUE(r.atEnd());

  EXPECT_TRUE(r.memberAt(7, 0));
  EXPECT_FALSE(r.memberAt(8, 0));
  EXPECT_FALSE(r.memberAt(2, std::numeric_limits<size_t>::max()));
  EXPECT_EQ(r.memberAt(5, 2)->u16(), 0x0706u);
}

TEST(ByteReader, SeekingPastTheEndStopsAtTheEndAndSkipRefusesIt) {
  ByteReader r(kSeven);
  r.seek(100);
  EXPECT_EQ(r.position(), 7u);
  EXPECT_EQ(r.remaining(), 0u);
  r.seek(2);
  EXPECT_FALSE(r.skip(6));
  EXPECT_EQ(r.position(), 2u);
  EXPECT_TRUE(r.skip(5));
  EXPECT_TRUE(r.rest().empty());
}

}  // namespace
}  // namespace vh
