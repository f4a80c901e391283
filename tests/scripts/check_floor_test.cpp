// scripts/check-floor: the release's programs must run on glibc 2.31 with a
// desktop's libraries alone. Programs built here, against this system's
// newer glibc, show what it refuses and what it lets through.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace vh {
namespace {

const std::string kCheckFloor = std::string(VH_SOURCE_DIR) + "/scripts/check-floor";

// Without the C library's start-up files a program asks for nothing newer
// than the symbols it calls itself: write and _exit date from glibc 2.2.5.
constexpr const char* kOldSymbolsOnly =
    "#include <unistd.h>\n"
    "void _start(void) { write(1, \"hi\\n\", 3); _exit(0); }\n";

struct FloorCase {
  const char* name;
  const char* source;     // C unless `cxx`
  const char* flags;      // for the compiler
  bool cxx;
  int status;
  std::vector<std::string> said;  // lines (parts of) the script must print
};

const FloorCase kCases[] = {
    // The start-up code of a program built here calls __libc_start_main of
    // glibc 2.34.
    {"an ordinary C program", "#include <stdio.h>\nint main(void) { puts(\"hi\"); return 0; }\n", "", false, 1,
     {"needs GLIBC_2.34, above the floor GLIBC_2.31: __libc_start_main"}},
    {"a C++ program with the shared C++ runtime",
     "#include <string>\n#include <cstdio>\nint main(int c, char**) { std::string s(c, 'x'); std::puts(s.c_str()); }\n",
     "", true, 1, {"needs GLIBCXX_3.4", "needs libstdc++.so.6, which is not a library every desktop has"}},
    {"a library that is no desktop's", kOldSymbolsOnly, "-nostartfiles -Wl,--no-as-needed -l:libz.so.1", false, 1,
     {"needs libz.so.1, which is not a library every desktop has"}},
    {"old symbols and the C library alone", kOldSymbolsOnly, "-nostartfiles", false, 0,
     {"floor GLIBC_2.2.5; needs libc.so.6"}},
    {"X11 and fonts beside the C library", kOldSymbolsOnly,
     "-nostartfiles -Wl,--no-as-needed -l:libX11.so.6 -l:libXft.so.2 -l:libfontconfig.so.1 -l:libfreetype.so.6", false, 0,
     {"needs libX11.so.6 libXft.so.2 libfontconfig.so.1 libfreetype.so.6 libc.so.6"}},
};

class CheckFloor : public testing::TestWithParam<FloorCase> {};

TEST_P(CheckFloor, RefusesWhatNeedsMoreThanGlibc231AndADesktop) {
  const FloorCase& c = GetParam();
  test::TempDir dir;
  const std::string source = dir / (c.cxx ? "p.cpp" : "p.c");
  test::writeFile(source, c.source);
  const auto built = test::runCommand(std::string(c.cxx ? "c++" : "cc") + " -O1 -o '" + (dir / "p") + "' '" + source +
                                      "' " + c.flags);
  ASSERT_EQ(built.status, 0) << built.err;
  const auto checked = test::runCommand("'" + kCheckFloor + "' '" + (dir / "p") + "'");
  EXPECT_EQ(checked.status, c.status) << checked.out << checked.err;
  for (const std::string& line : c.said) {
    EXPECT_NE((checked.out + checked.err).find(line), std::string::npos) << line << "\n" << checked.out << checked.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, CheckFloor, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<FloorCase>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p) {
                             if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                           }
                           return name;
                         });

TEST(CheckFloorOfTheOrdinaryBuild, RefusesVhpatchBuiltAgainstThisSystemsLibraries) {
  const auto checked = test::runCommand("'" + kCheckFloor + "' '" + test::binaryPath("vhpatch") + "'");
  EXPECT_EQ(checked.status, 1);
  // Linked against this system's glibc, its C++ runtime and its shared
  // libraries, each of which the release must not need.
  EXPECT_NE(checked.err.find("above the floor GLIBC_2.31"), std::string::npos) << checked.err;
  EXPECT_NE(checked.err.find("needs libminizip.so.1, which is not a library every desktop has"), std::string::npos)
      << checked.err;
  EXPECT_NE(checked.err.find("the C++ runtime must be linked in"), std::string::npos) << checked.err;
}

TEST(CheckFloorOfTheOrdinaryBuild, RefusesWhatIsNoProgram) {
  test::TempDir dir;
  test::writeFile(dir / "notes.txt", "not a program\n");
  const auto checked = test::runCommand("'" + kCheckFloor + "' '" + (dir / "notes.txt") + "'");
  EXPECT_EQ(checked.status, 1);
  EXPECT_NE(checked.err.find("not a program objdump can read"), std::string::npos) << checked.err;
}

}  // namespace
}  // namespace vh
