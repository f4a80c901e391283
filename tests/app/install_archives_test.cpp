// Installations over game archives that are damaged in ways the program
// accepts: the real vhpatch completes and writes back only what it can.
#include <gtest/gtest.h>

#include <vector>

#include "formats/xarc.h"
#include "formats/xrc.h"
#include "tests/recording_host.h"
#include "tests/app/installation.h"
#include "tests/formats/archive_fixture.h"
#include "tests/app/recording_desktop.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::Installation;

// A sub-scene archive of the sample game whose scene has translations.
const std::string kArchive = "Inn/2/2.xarc";

// Puts the same bytes in the game and in the copy the expectations are
// computed from.
void replaceArchive(const Installation& setup, const std::string& bytes) {
  test::writeFile(setup.game + "/" + kArchive, bytes);
  test::writeFile(setup.original + "/" + kArchive, bytes);
}

TEST(InstallArchives, ARecordFileCutShortByTheEndIsSavedWithItsRecomputedLength) {
  Installation setup;

  // The archive rebuilt with its record file last, then cut four bytes into
  // the tree's last record: that record reads as zeros and is 14 bytes now,
  // while the table still claims the whole tree.
  tXARC source;
  source.subId = 2;
  ASSERT_EQ(source.open(setup.game + "/" + kArchive, test::standardError()), 1);
  const auto xrc = source.getXRC();
  ASSERT_NE(xrc, nullptr);
  std::vector<test::Member> members;
  for (const tXFilePtr& file : source.files) {
    if (file != xrc) members.push_back({file->name, file->bank->toString(), file->flag});
  }
  members.push_back({xrc->name, test::saved(*xrc), xrc->flag});
  const tRecordData& last = xrc->records.back()->data;
  const size_t lastSize = 14 + last.titleLength + static_cast<size_t>(last.subStringLength);
  ASSERT_GT(lastSize, 4u);
  const std::string whole = test::makeArchive(members, source.xrcNo);
  replaceArchive(setup, whole.substr(0, whole.size() - (lastSize - 4)));

  const auto result = setup.vhpatch("makeandapply");
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(result.out.find("invalid XARC size:"), std::string::npos) << result.out;
  EXPECT_NE(result.err.find("data written"), std::string::npos) << result.err;
  test::expectPatched(setup);

  // The table's length for the record file is the tree as written, which
  // ends the file.
  tXARC patched;
  ASSERT_EQ(patched.open(setup.game + "/" + kArchive, test::standardError()), 1);
  const auto saved = patched.getXRC();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved, patched.files.back());
  EXPECT_EQ(saved->records.size(), xrc->records.size());
  EXPECT_EQ(saved->records.back()->data.titleLength, 0);
  const int32_t tableLength = saved->length;
  saved->calcLength();
  EXPECT_EQ(tableLength, saved->length);
  EXPECT_EQ(static_cast<int64_t>(saved->offset) + tableLength,
            static_cast<int64_t>(test::readFile(setup.game + "/" + kArchive).size()));
}

// Archives whose member table is cut short cannot be written back whole:
// they are left as they are, and the closing line says so.
TEST(InstallArchives, AnArchiveWhoseTableIsCutShortIsLeftAsItIsAndCounted) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      // Ten bytes: a count but no whole header. Saved, the zeros read in
      // place of the missing bytes would make a header the next run refuses.
      {"header cut short", test::Bytes().i32(5).i32(3).u16(1).bytes()},
      // Three members claimed, one entry there, and the file ends at
      // headerlength: the two missing entries read as empty, and written
      // back they would run past headerlength.
      {"table cut short at headerlength", test::Bytes().i32(5).i32(3).i32(22).cstr("a").i32(0).i32(0).bytes()},
  };
  const std::string scene = "Inn/Inn.xarc";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation setup;
    replaceArchive(setup, c.bytes);
    for (int run = 1; run <= 2; ++run) {
      SCOPED_TRACE(run);
      const auto result = setup.vhpatch("makeandapply");
      ASSERT_EQ(result.status, 0) << result.out << result.err;
      EXPECT_EQ(result.out.find("invalid XARC size:"), std::string::npos) << result.out;
      EXPECT_NE(result.err.find("data written"), std::string::npos) << result.err;
      EXPECT_NE(result.err.find(", 1 archive left untranslated (member table cut short); backup in "),
                std::string::npos)
          << result.err;
      EXPECT_TRUE(test::readFile(setup.game + "/" + kArchive) == c.bytes) << "the short archive was rewritten";
    }
    // The rest of the scene was installed.
    EXPECT_TRUE(test::readFile(setup.game + "/" + scene) != test::readFile(setup.original + "/" + scene));
  }
}

}  // namespace
}  // namespace vh
