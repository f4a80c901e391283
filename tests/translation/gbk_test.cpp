#include "translation/gbk.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vh {
namespace {

// Every two-byte code GBK's lead (0x81-0xFE) and trail (0x40-0xFE, not
// 0x7F) ranges can form: each one that converts to UTF-8 comes back as the
// same two bytes, and the codes the standard fills are among them.
TEST(Gbk, EveryTwoByteCodeConvertsBackToItselfOrIsRefused) {
  int converted = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      const auto utf8 = gbkToUtf8(code);
      if (!utf8) {
        EXPECT_FALSE(roundTripsThroughUtf8(code));
        continue;
      }
      ++converted;
      ASSERT_GE(utf8->size(), 2u) << std::hex << lead << trail;  // one character beyond ASCII
      ASSERT_LE(utf8->size(), 4u) << std::hex << lead << trail;
      const auto back = utf8ToGbk(*utf8);
      ASSERT_TRUE(back.has_value()) << std::hex << lead << trail;
      EXPECT_EQ(*back, code) << std::hex << lead << trail;
      EXPECT_TRUE(roundTripsThroughUtf8(code));
    }
  }
  // GB2312's 7445 characters and GBK's extension: more than 21,000 in all.
  EXPECT_GT(converted, 21000);
}

TEST(Gbk, KnownCodesAndFaults) {
  struct Case {
    std::string gbk;
    std::optional<std::string> utf8;
  };
  const Case cases[] = {
      {"\xB0\xA1", "\xE5\x95\x8A"},                  // U+554A, the first GB2312 hanzi
      {"\xA1\xA1", "\xE3\x80\x80"},                  // U+3000, ideographic space
      {"\x81\x40", "\xE4\xB8\x82"},                  // U+4E02, the first GBK extension code
      {"\xC4\xE3\xBA\xC3", "\xE4\xBD\xA0\xE5\xA5\xBD"},  // two hanzi
      {"a\n\tb", "a\n\tb"},                          // ASCII passes as it is
      {"\x81\x7F", std::nullopt},                    // 0x7F is no trail byte
      {"\xB0", std::nullopt},                        // a lead byte cut off
      {"ok\xFF", std::nullopt},                      // 0xFF leads nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8) << c.gbk;
    if (c.utf8) {
      EXPECT_EQ(utf8ToGbk(*c.utf8), c.gbk);
    }
  }
}

TEST(Gbk, AFaultNamesTheCharacterAndWhereItStands) {
  GbkFault fault;
  const std::string text = "\xE4\xBD\xA0 \xF0\x9F\x98\x80";  // a hanzi, a space, an emoji
  EXPECT_FALSE(utf8ToGbk(text, &fault).has_value());
  EXPECT_EQ(fault.offset, 4u);
  EXPECT_EQ(describeUtf8Character(text, fault.offset), "\"\xF0\x9F\x98\x80\" (U+1F600)");
  EXPECT_FALSE(utf8ToGbk("ab\xC3", &fault).has_value());  // cut-off UTF-8
  EXPECT_EQ(describeUtf8Character("ab\xC3", 2), "the byte \\xC3");
}

}  // namespace
}  // namespace vh
