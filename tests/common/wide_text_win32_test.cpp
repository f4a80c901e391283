#include "common/wide_text_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/process_text.h"

namespace vh {
namespace {

TEST(WideText, Utf8AndUtf16RoundTrip) {
  const struct {
    std::string utf8;
    std::wstring wide;
  } kCases[] = {
      {"", L""},
      {"Varnhollow", L"Varnhollow"},
      {"C:/\xE6\xB8\xB8\xE6\x88\x8F/Varnhollow", L"C:/\u6E38\u620F/Varnhollow"},  // 游戏
      {"caf\xC3\xA9", L"caf\u00E9"},
      {"\xF0\x9F\x98\x80", L"\xD83D\xDE00"},  // U+1F600: a surrogate pair
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(wideText(c.utf8), c.wide) << c.utf8;
    EXPECT_EQ(utf8Text(c.wide), c.utf8) << c.utf8;
  }
}

TEST(WideText, BytesThatAreNoUtf8HaveNoWideForm) {
  for (const char* bytes : {"\xFF", "ok\xC4\xE3", "\xC0\xAF", "\xE4\xBD", "\xBD\xA0"}) {
    EXPECT_EQ(wideText(bytes), std::nullopt) << bytes;
  }
}

// Shown rather than opened: valid text as wideText gives it, and each byte
// that is no UTF-8 as U+FFFD with the rest of the text kept.
TEST(WideText, ShownTextReplacesWhatIsNoUtf8AndKeepsTheRest) {
  const struct {
    std::string utf8;
    std::wstring shown;
  } kCases[] = {
      {"", L""},
      {"failed to read:C:/\xE6\xB8\xB8\xE6\x88\x8F", L"failed to read:C:/\u6E38\u620F"},
      {"failed to read:\xB0\xA1.xarc", L"failed to read:\xFFFD\xFFFD.xarc"},  // GBK's 啊
      {"a\x80" "b", L"a\xFFFD" L"b"},
      {"ok\xE6\xB8", L"ok\xFFFD"},  // cut short at the end
  };
  for (const auto& c : kCases) EXPECT_EQ(shownText(c.utf8), c.shown) << c.utf8;
}

TEST(WideText, ALoneSurrogateBecomesTheReplacementCharacter) {
  EXPECT_EQ(utf8Text(std::wstring(L"a\xD800z")), "a\xEF\xBF\xBD" "z");
  EXPECT_EQ(utf8Text(std::wstring(L"\xDC00")), "\xEF\xBF\xBD");
}

TEST(WideText, CommandLinesSplitAsTheRuntimeSplitsThem) {
  const struct {
    const wchar_t* line;
    std::vector<std::string> arguments;
  } kCases[] = {
      {L"vhpatch.exe make", {"vhpatch.exe", "make"}},
      {L"\"C:\\Program Files\\vh\\vhpatch.exe\" uninstall", {"C:\\Program Files\\vh\\vhpatch.exe", "uninstall"}},
      {L"vhpatch.exe \"D:\\\u6E38\u620F\\Varnhollow\"", {"vhpatch.exe", "D:\\\xE6\xB8\xB8\xE6\x88\x8F\\Varnhollow"}},
      {L"vhpatch.exe \"a b\"  c", {"vhpatch.exe", "a b", "c"}},
      {L"vhpatch.exe say\\\"hi\\\"", {"vhpatch.exe", "say\"hi\""}},
      {L"vhpatch.exe \"\"", {"vhpatch.exe", ""}},
  };
  for (const auto& c : kCases) EXPECT_EQ(commandLineArguments(c.line), c.arguments) << utf8Text(c.line);
}

// The process's own command line: the program first, whatever argv says.
TEST(ProcessText, ArgumentsComeFromTheWideCommandLine) {
  const std::vector<std::string> arguments = utf8Arguments(0, nullptr);
  ASSERT_FALSE(arguments.empty());
  EXPECT_NE(arguments[0].find("vhtests"), std::string::npos) << arguments[0];
  EXPECT_EQ(static_cast<int>(arguments.size()), __argc);
}

// Set in the process's own environment, as a parent's values arrive: read
// from there, not from the C runtime's copy taken through the code page.
TEST(ProcessText, EnvironmentValuesAreReadWide) {
  const struct {
    const wchar_t* value;
    std::optional<std::string> read;
  } kCases[] = {
      {L"C:\\\u6E38\u620F", "C:\\\xE6\xB8\xB8\xE6\x88\x8F"},  // 游戏
      {L"", ""},
      {nullptr, std::nullopt},  // removed
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"VH_TEST_FOLDER", c.value));
    EXPECT_EQ(environmentValue("VH_TEST_FOLDER"), c.read);
  }
  // Longer than the first buffer.
  const std::wstring longValue(1000, L'\u6E38');
  ASSERT_TRUE(SetEnvironmentVariableW(L"VH_TEST_FOLDER", longValue.c_str()));
  EXPECT_EQ(environmentValue("VH_TEST_FOLDER"), utf8Text(longValue));
  ASSERT_TRUE(SetEnvironmentVariableW(L"VH_TEST_FOLDER", nullptr));
  EXPECT_EQ(environmentValue(""), std::nullopt);
  EXPECT_EQ(environmentValue("VH_\xFF"), std::nullopt);  // no UTF-8, no name
}

}  // namespace
}  // namespace vh
