// UTF-8 inside, UTF-16 at the Windows edge: the conversions both ways, and
// what becomes of text that is not valid on one side. Needs no screen, so it
// runs in vhtests.exe (cmake/windows.cmake).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/gui/wide_text.h"

namespace vh {
namespace {

struct Pair {
  const char* name;
  std::string utf8;
  std::wstring wide;
};

// Both directions give each other's side exactly.
TEST(WideText, ValidTextCrossesBothWaysUnchanged) {
  const Pair pairs[] = {
      {"empty", "", L""},
      {"ASCII", "failed to read:", L"failed to read:"},
      {"a Chinese folder", "C:\\\xE6\xB8\xB8\xE6\x88\x8F\\Varnhollow", L"C:\\\x6E38\x620F\\Varnhollow"},
      {"the window's title", "\xE7\x93\xA6\xE6\x81\xA9", L"\x74E6\x6069"},
      // U+20000, beyond the basic plane: four bytes, two UTF-16 units.
      {"a surrogate pair", "x\xF0\xA0\x80\x80y", L"x\xD840\xDC00y"},
      {"a zero inside", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(wideFromUtf8(p.utf8), p.wide);
    EXPECT_EQ(utf8FromWide(p.wide), std::optional<std::string>(p.utf8));
  }
}

// A message may carry a name in the game's own encoding: each byte that is
// no UTF-8 shows as U+FFFD and the rest of the text still shows.
TEST(WideText, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  const Pair pairs[] = {
      // GBK's two bytes for one character.
      {"GBK", "failed to read:\xB0\xA1.xarc", L"failed to read:\xFFFD\xFFFD.xarc"},
      {"a lone continuation byte", "a\x80" "b", L"a\xFFFD" L"b"},
      {"a sequence cut short at the end", "ok\xE6\xB8", L"ok\xFFFD"},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(wideFromUtf8(p.utf8), p.wide);
  }
}

// A lone surrogate (a name Windows allows) has no UTF-8 spelling, so no path
// the program could open again: nothing rather than a wrong name.
TEST(WideText, ALoneSurrogateHasNoUtf8) {
  for (const std::wstring& wide : {std::wstring(L"C:\\\xD800"), std::wstring(L"\xDC00" L"abc"),
                                   std::wstring(L"a\xDBFF" L"b")}) {
    EXPECT_EQ(utf8FromWide(wide), std::nullopt);
  }
}

}  // namespace
}  // namespace vh
