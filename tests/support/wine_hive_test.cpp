#include "support/wine_hive.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/registry_platform.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

TEST(WineHive, FilesReadAsLinesAndAMissingFileIsAnEmptyHive) {
  TempDir dir;
  test::writeFile(dir / "user.reg", "WINE REGISTRY Version 2\n\n[Software] 1\n\"a\"=\"b\"");
  const Result<HiveText> read = readHiveFile(test::localFiles(), dir / "user.reg");
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.value().lines,
            (std::vector<std::string>{"WINE REGISTRY Version 2", "", "[Software] 1", "\"a\"=\"b\""}));
  EXPECT_FALSE(read.value().endsWithNewline);

  const Result<HiveText> missing = readHiveFile(test::localFiles(), dir / "system.reg");
  ASSERT_TRUE(missing.ok());
  EXPECT_TRUE(missing.value().lines.empty());

  // A folder where the hive should be opens but cannot be read.
  test::makeFolders(dir / "folder.reg");
  const Result<HiveText> folder = readHiveFile(test::localFiles(), dir / "folder.reg");
  ASSERT_FALSE(folder.ok());
  EXPECT_EQ(folder.fault().kind, FaultKind::CannotOpen);
  EXPECT_NE(folder.fault().detail.find("folder.reg"), std::string::npos) << folder.fault().detail;
}

TEST(WineHive, AHiveThatCannotBeReadGivesTheEmptyResults) {
  TempDir dir;
  test::makeFolders(dir / "user.reg");
  WineRegistry store(test::localFiles(), dir.path());
  RegHandle key = 0;
  EXPECT_EQ(store.openKey(kHkeyCurrentUser, "Software", key), kRegNotFound);
  EXPECT_EQ(store.createKey(kHkeyCurrentUser, "Software", key), kRegAccessDenied);
  EXPECT_EQ(store.setValue(kHkeyCurrentUser, "root", kRegSz, std::string("x\0", 2)), kRegAccessDenied);
}

TEST(WineHive, ValueDataOfEveryFormAndFaultsForTheRest) {
  struct Case {
    std::string text;
    std::optional<RegValue> value;  // nothing: the fault Damaged
  };
  const std::vector<Case> cases = {
      {"\"C:\\\\Games\\\\VHW\"", RegValue{kRegSz, std::string("C:\\Games\\VHW\0", 13)}},
      {"str(2):\"%PATH%\"", RegValue{kRegExpandSz, std::string("%PATH%\0", 7)}},
      {"dword:0000002a", RegValue{kRegDword, std::string("\x2a\0\0\0", 4)}},
      {"hex:01,ff", RegValue{kRegBinary, "\x01\xff"}},
      {"hex(b):01,00,00,00,02,00,00,00", RegValue{kRegQword, std::string("\x01\0\0\0\x02\0\0\0", 8)}},
      {"str(2)\"no colon\"", std::nullopt},
      {"hex(7", std::nullopt},
      {"qword:1", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Result<RegValue> parsed = parseValueData(c.text);
    ASSERT_EQ(parsed.ok(), c.value.has_value());
    if (!c.value) {
      EXPECT_EQ(parsed.fault().kind, FaultKind::Damaged);
      continue;
    }
    EXPECT_EQ(parsed.value().type, c.value->type);
    EXPECT_EQ(parsed.value().data, c.value->data);
  }
}

}  // namespace
}  // namespace vh
