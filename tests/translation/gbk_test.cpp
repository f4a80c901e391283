#include "translation/gbk.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace vh {
namespace {

// Every two-byte code GBK's lead (0x81-0xFE) and trail (0x40-0xFE, not
// 0x7F) ranges can form: each one that converts to UTF-8 comes back as the
// same two bytes, and they are the codes GBK gives characters, 21,791 on
// every platform: GB2312's 7,445 and GBK's extension, but none of the
// user-defined areas.
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
  EXPECT_EQ(converted, 21791);
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
      {"\x80", "\xE2\x82\xAC"},                      // U+20AC, the euro sign's one byte
      {"\xA1\xA4", "\xC2\xB7"},                      // U+00B7, the middle dot
      {"\xA1\xAA", "\xE2\x80\x94"},                  // U+2014, the em dash
      {"\xA8\x44", "\xE2\x80\x95"},                  // U+2015, the horizontal bar
      {"\xFE\x40", "\xEF\xA8\x8C"},                  // U+FA0C, a compatibility ideograph
      {std::string("a\0b", 3), std::string("a\0b", 3)},  // a 0 byte is a character
      {"\xAA\xA1", std::nullopt},                    // user-defined areas: AAA1-AFFE,
      {"\xF8\xA1", std::nullopt},                    // F8A1-FEFE
      {"\xA1\x40", std::nullopt},                    // and A140-A7A0
      {"\xA2\xAB", std::nullopt},                    // a code GBK leaves empty
      {"\xFE\x50", std::nullopt},                    // radicals Unicode lacked once: private use
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

  // The first fault in the text is the one named, whether a character GBK
  // lacks or bytes that are no UTF-8.
  const struct {
    std::string utf8;
    size_t offset;
    const char* why;
  } kCases[] = {
      {"ok \xEE\x80\x80", 3, "U+E000: the private use area has no GBK code"},
      {"\xE4\xBD\xA0\xE3\xAF\xBC", 3, "U+3BFC, an ideograph GBK lacks"},
      {"\xC3\xA9\xC3\x80", 2, "U+00E9, a letter of Pinyin, has a code, U+00C0 none"},
      {"\xE2\x82\xAC\xE2\x82\xA4", 3, "the euro sign has a code, the lira sign none"},
      {"a\xF0\xA0\x80\x80", 1, "U+20000: nothing beyond the Basic Multilingual Plane"},
      {"\xE3\xAF\xBC\xFF", 0, "a character GBK lacks before a byte that is no UTF-8"},
      {"\xFF\xE3\xAF\xBC", 0, "a byte that is no UTF-8 before a character GBK lacks"},
      {"\xE4\xBD\xA0\xED\xA0\x80", 3, "a surrogate"},
      {"\xE4\xBD\xA0\xC0\xAF", 3, "an overlong slash"},
      {"\xE4\xBD\xA0\xE4\xBD", 3, "a character cut off"},
      {"\xBD\xA0", 0, "a continuation byte with no lead"},
  };
  for (const auto& c : kCases) {
    fault.offset = 99;
    EXPECT_FALSE(utf8ToGbk(c.utf8, &fault).has_value()) << c.why;
    EXPECT_EQ(fault.offset, c.offset) << c.why;
  }
}

// Chinese phrases a translator writes, in UTF-8 as an editor saves them by
// default and in GBK as the game needs them: only the UTF-8 forms read as
// UTF-8.
TEST(Gbk, UnicodeChinesePhrasesReadAsUtf8AndTheirGbkFormsDoNot) {
  for (const char* phrase : {"\xE4\xBD\xA0\xE5\xA5\xBD",                                      // 你好
                             "\xE4\xBD\xA0\xE5\xA5\xBD\xE4\xB8\x96\xE7\x95\x8C",                  // 你好世界
                             "\xE8\x88\xB9\xE9\x95\xBF",                                      // 船长
                             "Hello \xE4\xBD\xA0\xE5\xA5\xBD",                                // Hello 你好
                             "\xE7\xA0\x81\xE5\xA4\xB4",                                      // 码头
                             "\xE9\x92\xA5\xE5\x8C\x99\xE5\x9C\xA8\xE5\x93\xAA\xE9\x87\x8C",   // 钥匙在哪里
                             "\xE5\xB0\x8F\xE5\xBF\x83\xEF\xBC\x81"}) {                     // 小心！
    EXPECT_EQ(readAsUtf8(phrase), Utf8Reading::Wide) << phrase;
    const auto gbk = utf8ToGbk(phrase);
    ASSERT_TRUE(gbk.has_value()) << phrase;
    EXPECT_NE(readAsUtf8(*gbk), Utf8Reading::Wide) << phrase;
  }
  EXPECT_EQ(readAsUtf8("\xF0\xA1\xB0\xA1"), Utf8Reading::Wide);  // 稹啊 in GBK, by chance U+21C21 in UTF-8
  const struct {
    const char* bytes;
    Utf8Reading reading;
    const char* why;
  } kCases[] = {
      {"\xC5\xA3", Utf8Reading::Narrow, "GBK 牛, which reads as U+0163"},
      {"\xD0\xBB\xD0\xBB", Utf8Reading::Narrow, "GBK 谢谢, which reads as U+043B twice"},
      {"caf\xC3\xA9", Utf8Reading::Narrow, "UTF-8 below U+0800"},
      {"plain ASCII", Utf8Reading::None, "no character beyond ASCII"},
      {"", Utf8Reading::None, "empty"},
      {"\xC0\x80", Utf8Reading::None, "overlong NUL"},
      {"\xE0\x80\xAF", Utf8Reading::None, "overlong slash"},
      {"\xED\xA0\x80", Utf8Reading::None, "a surrogate"},
      {"\xF4\x90\x80\x80", Utf8Reading::None, "beyond U+10FFFF"},
      {"\xE4\xBD", Utf8Reading::None, "cut off"},
      {"\xE4\xBD\xA0\xBD", Utf8Reading::None, "a stray continuation byte"},
  };
  for (const auto& c : kCases) EXPECT_EQ(readAsUtf8(c.bytes), c.reading) << c.why;
}

TEST(Gbk, TextAPlayerReadsIsPrintableCharactersAndLineBreaks) {
  const struct {
    std::string bytes;
    std::optional<size_t> characters;
    const char* why;
  } kCases[] = {
      {"Old lantern", 11, "ASCII"},
      {"\xC4\xE3\xBA\xC3", 2, "你好: two characters of two bytes"},
      {"a\nb\r\nc", 6, "line breaks of either kind"},
      {"", 0, "empty"},
      {"a\tb", std::nullopt, "a tab"},
      {std::string("a\0b", 3), std::nullopt, "a 0 byte"},
      {"\x01\x02", std::nullopt, "control characters"},
      {"a\x7F", std::nullopt, "DEL"},
      {"\xAA\xA1", std::nullopt, "GBK's user-defined area"},
      {"\xC4", std::nullopt, "a character cut off"},
      {"\xFF\xFF", std::nullopt, "no GBK"},
  };
  for (const auto& c : kCases) EXPECT_EQ(gbkTextLength(c.bytes), c.characters) << c.why;
}

}  // namespace
}  // namespace vh
