#include "support/zip_layout.h"

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/little_endian.h"
#include "fixtures/fixture_bytes.h"
#include "support/zip.h"
#include "tests/recording_host.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

TEST(MembersShareBytes, OnlyRangesThatMeetOrReachTheDirectory) {
  struct Case {
    const char* name;
    std::vector<ByteRange> members;
    bool shared;
  };
  const uint64_t directory = 1000;
  const std::vector<Case> cases = {
      {"none", {}, false},
      {"one after another", {{0, 100}, {100, 250}, {250, 1000}}, false},
      {"out of order, apart", {{500, 600}, {0, 100}, {200, 300}}, false},
      {"the same header twice", {{0, 100}, {0, 100}}, true},
      {"one byte in common", {{0, 101}, {100, 200}}, true},
      {"one inside another", {{0, 500}, {100, 200}}, true},
      {"inside one that ends early", {{0, 500}, {100, 200}, {300, 400}}, true},
      {"into the directory", {{0, 100}, {900, 1001}}, true},
      {"past the directory", {{1100, 1200}}, true},
  };
  for (const Case& c : cases) EXPECT_EQ(membersShareBytes(c.members, directory), c.shared) << c.name;
}

class ZipLayoutTest : public ::testing::Test {
 protected:
  // 1 when the reader opens the package with these bytes.
  int opens(const std::string& bytes) {
    test::writeFile(path, bytes);
    RecordingHost quiet;
    ZipReader reader;
    return reader.OpenZip(path);
  }
  TempDir dir;
  std::string path = dir / "p.zip";
  std::vector<fixture::StoredMember> members = {fixture::storedMember("first.txt", "the first member"),
                                                fixture::storedMember("second.txt", std::string(5000, 's')),
                                                fixture::repeatedMember("third.txt", "head ", "chunk ", 1000)};
};

TEST_F(ZipLayoutTest, MembersWithBytesOfTheirOwnOpenAndRead) {
  ASSERT_EQ(opens(fixture::packageOf(members)), 1);
  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(path), 1);
  const auto third = reader.ExtractFile("third.txt", 1, "");
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->size(), 5 + 6 * 1000);
  // minizip adds the bytes before the package (a program it was appended
  // to) to every offset, and so do the ranges.
  ASSERT_EQ(opens(std::string(777, 'P') + fixture::packageOf(members)), 1);
}

TEST_F(ZipLayoutTest, MembersThatShareTheirBytesAreRefused) {
  fixture::Layout aliased;
  aliased.aliases = {{"again.txt", 0}};
  EXPECT_EQ(opens(fixture::packageOf(members, aliased)), 0);
  aliased.aliases = {{"third.abc", 2}, {"third.def", 2}};
  EXPECT_EQ(opens(fixture::packageOf(members, aliased)), 0);
  fixture::Layout reaching;
  reaching.lastReachesDirectory = true;
  std::vector<fixture::StoredMember> stored = members;
  stored.back() = fixture::storedMember("third.txt", "its own bytes");
  EXPECT_EQ(opens(fixture::packageOf(stored, reaching)), 0);
  EXPECT_EQ(opens(fixture::packageOf(stored)), 1);
}

// A member whose sizes follow its data (flag bit 3) owns the descriptor
// after its data: a header that starts where the descriptor should be
// shares its bytes.
TEST_F(ZipLayoutTest, ADataDescriptorIsPartOfItsMember) {
  std::string bytes = fixture::packageOf(members);
  ASSERT_EQ(opens(bytes), 1);
  const auto* raw = reinterpret_cast<uint8_t*>(bytes.data());
  const uint32_t directory = loadLE32(raw + bytes.size() - 6);
  // The first member's flag, in its local header and its directory entry.
  bytes[6] = static_cast<char>(bytes[6] | 8);
  bytes[directory + 8] = static_cast<char>(bytes[directory + 8] | 8);
  EXPECT_EQ(opens(bytes), 0);
}

// A package written by another tool with zip64 records and extra fields
// is laid out as minizip reads it: its end records, and the offsets and
// sizes in the entries' zip64 fields.
TEST_F(ZipLayoutTest, Zip64RecordsAreFollowed) {
  test::writeFile(dir / "a.txt", "alpha");
  test::writeFile(dir / "b.txt", std::string(10000, 'b'));
  const auto zipped = test::runCommand("cd '" + dir.path() + "' && zip -q -fz z64.zip a.txt b.txt");
  if (zipped.status != 0) GTEST_SKIP() << "zip cannot write zip64 records here: " << zipped.err;
  const std::string bytes = test::readFile(dir / "z64.zip");
  ASSERT_NE(bytes.find(std::string("PK\x06\x06", 4)), std::string::npos) << "no zip64 end record";
  // Its plain end record says 0xFFFFFFFF where the zip64 one has the
  // directory's place: only a layout that follows the zip64 records opens.
  EXPECT_EQ(opens(bytes), 1);
}

}  // namespace
}  // namespace vh
