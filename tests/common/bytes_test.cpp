#include "common/bytes.h"

#include <gtest/gtest.h>

namespace vh {
namespace {

TEST(StrToInt, ReadsEachBaseAndSign) {
  EXPECT_EQ(strToInt("$1F"), 31);
  EXPECT_EQ(strToInt("$ff"), 255);
  EXPECT_EQ(strToInt("%101"), 5);
  EXPECT_EQ(strToInt("-12abc"), -12);
  EXPECT_EQ(strToInt("  +7"), 7);
  EXPECT_EQ(strToInt("\t\r\n 42"), 42);
  EXPECT_EQ(strToInt("-$10"), -16);
  EXPECT_EQ(strToInt("0042"), 42);
}

TEST(StrToInt, TextWithoutDigitsIsZero) {
  EXPECT_EQ(strToInt(""), 0);
  EXPECT_EQ(strToInt("abc"), 0);
  EXPECT_EQ(strToInt("-"), 0);
  EXPECT_EQ(strToInt("$"), 0);
  EXPECT_EQ(strToInt("%2"), 0);  // 2 is no binary digit
  EXPECT_EQ(strToInt("$G"), 0);
  EXPECT_EQ(strToInt("x12"), 0);
}

TEST(StrToInt, StopsAtFirstNonDigitOfTheBase) {
  EXPECT_EQ(strToInt("12-sub-3"), 12);
  EXPECT_EQ(strToInt("%1012"), 5);
  EXPECT_EQ(strToInt("19a"), 19);   // a is no decimal digit
  EXPECT_EQ(strToInt("$19ag"), 0x19a);
}

TEST(StrToInt, OverflowWrapsLikeA32BitRegister) {
  EXPECT_EQ(strToInt("2147483647"), 2147483647);
  EXPECT_EQ(strToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(strToInt("2147483648"), INT32_MIN);
  EXPECT_EQ(strToInt("4294967297"), 1);
  EXPECT_EQ(strToInt("$FFFFFFFF"), -1);
  // A very long number neither crashes nor trips the sanitizers.
  EXPECT_EQ(strToInt(std::string(200, '9')), strToInt(std::string(200, '9')));
}

TEST(LowerCase, ChangesOnlyAsciiLetters) {
  EXPECT_EQ(lowerCase("MakeAndApply"), "makeandapply");
  EXPECT_EQ(lowerCase("A-Z@[`{"), "a-z@[`{");
  const std::string gbk = "\xC4\xE3\xBA\xC3";  // GBK bytes keep their values
  EXPECT_EQ(lowerCase(gbk), gbk);
  EXPECT_EQ(lowerCase("\xC0\xC9"), "\xC0\xC9");  // no Latin-1 folding
}

TEST(EqualsIgnoreCase, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(equalsIgnoreCase("SCENE.XRC", "scene.xrc"));
  EXPECT_FALSE(equalsIgnoreCase("scene.xrc", "scene.xr"));
  EXPECT_FALSE(equalsIgnoreCase("\xC0", "\xE0"));
  EXPECT_FALSE(equalsIgnoreCase("@", "`"));  // 0x40 and 0x60 differ by the case bit
}

TEST(Split, KeepsEmptyPieces) {
  EXPECT_EQ(split("a,b,c", ','), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(split(",a,,", ','), (std::vector<std::string>{"", "a", "", ""}));
  EXPECT_EQ(split("abc", ','), (std::vector<std::string>{"abc"}));
  EXPECT_EQ(split("", ','), (std::vector<std::string>{""}));
}

TEST(ToSlashes, TurnsEveryBackslash) { EXPECT_EQ(toSlashes("C:\\Games\\V\\"), "C:/Games/V/"); }

}  // namespace
}  // namespace vh
