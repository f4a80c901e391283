#include "tools/fixture_bytes.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace vh {
namespace {

using namespace std::string_literals;

TEST(FixtureBytes, ArchiveAndRecordFieldsStandWhereTheFormatsPutThem) {
  EXPECT_EQ(fixture::archive({{"a.xrc", "DATA", 1}}, 7),
            "\x07\0\0\0"s         // xrcNo
            "\x01\0\0\0"s         // member count
            "\x1A\0\0\0"s         // headerlength: 12 + the 14-byte table
            "a.xrc\0"s            // name
            "\x04\0\0\0\x01\0\0\0"s  // length, flag
            "DATA"s);
  EXPECT_EQ(fixture::record({29, 3, 0x0102, "T", "sub", 2, 0xBEEF}),
            "\x1D\x03\x02\x01"s     // type1, type2, id
            "\x01\0T"s              // titleLength, title
            "\x03\0\0\0sub"s        // subStringLength, subString
            "\x02\0\xEF\xBE"s);     // childCount, unkown
  EXPECT_EQ(fixture::embeddedText("PP", "hi", "tail"), "PP\x02\0hitail"s);
}

// The package builder is checked by a zip tool that is none of ours.
TEST(FixtureBytes, APackageIsAZipThatUnzipAcceptsWithItsMembersInOrder) {
  test::TempDir dir;
  const std::string path = dir / "p.zip";
  test::writeFile(path, fixture::package({{"patchscene.lst", "Inn\r\n"}, {"trans/inn.trz", std::string(300, 'x')},
                                          {"empty", ""}}));
  const auto tested = test::runCommand("unzip -t '" + path + "'");
  EXPECT_EQ(tested.status, 0) << tested.out;
  EXPECT_NE(tested.out.find("No errors detected"), std::string::npos) << tested.out;
  EXPECT_EQ(test::runCommand("unzip -Z1 '" + path + "'").out, "patchscene.lst\ntrans/inn.trz\nempty\n");
  EXPECT_EQ(test::runCommand("unzip -p '" + path + "' trans/inn.trz").out, std::string(300, 'x'));
}

}  // namespace
}  // namespace vh
