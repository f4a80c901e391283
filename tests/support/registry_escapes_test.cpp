// The escapes of a Wine registry file's strings, at the edges where a reader
// could take one character too many or too few.
#include <gtest/gtest.h>

#include "support/registry.h"
#include "support/registry_platform.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

TEST(WineRegistryEscapes, EachEscapeTakesNoMoreThanItsOwnDigits) {
  struct Case {
    const char* stored;  // between the quotes, as the file has it
    std::string read;
  };
  const Case cases[] = {
      {R"(\101)", "A"},
      {R"(\0123)", "\n3"},  // three octal digits at most
      {R"(\18)", std::string("\x01", 1) + "8"},  // 8 is no octal digit
      {R"(\7)", "\x07"},
      {R"(\x41g)", "Ag"},
      {R"(\x74e6)", "\xE7\x93\xA6"},  // UTF-16 in, UTF-8 out
      {R"(\\\")", "\\\""},
      {R"(a\nb\tc)", "a\nb\tc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    test::TempDir prefix;
    test::writeFile(prefix / "user.reg", std::string("WINE REGISTRY Version 2\n\n[Software\\\\Escapes] 1\n\"v\"=\"") +
                                             c.stored + "\"\n");
    WineRegistry wine(test::localFiles(), prefix.path());
    const auto key = OpenRegKey(wine, "HKEY_CURRENT_USER\\Software\\Escapes");
    const std::string read = key ? key->getstring("v") : "<no key>";
    EXPECT_EQ(read, c.read);
  }
}

}  // namespace
}  // namespace vh
