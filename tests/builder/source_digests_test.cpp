#include "builder/source_digests.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

SourceRecord recordOf(uint64_t size, char digit, bool pieced) {
  SourceRecord record;
  record.size = size;
  record.modified = 1733650000123456789;
  record.changed = 1733650000223456789;
  record.identity = 424242;
  record.settled = !pieced;
  record.digest = std::string(64, digit);
  record.crc = 0xDEADBEEF;
  record.storedAt = 4242;
  record.storedSize = size / 2;
  record.storedCrc = 0x0000ABCD;
  record.pieced = pieced;
  return record;
}

// Three sources, one with spaces in its name.
SourceDigests sample() {
  SourceDigests digests;
  digests.set("trans/Global.trz", recordOf(1000, 'a', false));
  digests.set("extra/font with spaces.ttf", recordOf(40u << 20, 'b', true));
  digests.set("addon/x.txt", recordOf(0, 'c', false));
  return digests;
}

constexpr const char* kFirst = "vhpatch source digests 3\n";
const std::string kDigestA(64, 'a');

TEST(SourceDigests, WhatIsWrittenReadsBack) {
  const test::TempDir dir;
  const SourceDigests digests = sample();
  ASSERT_TRUE(digests.write(test::localFiles(), dir / "patch.dat.digests"));
  const SourceDigests back = SourceDigests::read(test::localFiles(), dir / "patch.dat.digests");
  EXPECT_EQ(back.size(), 3u);
  EXPECT_EQ(back.text(), digests.text());
  for (const char* name : {"trans/Global.trz", "extra/font with spaces.ttf", "addon/x.txt"}) {
    ASSERT_NE(back.find(name), nullptr) << name;
    EXPECT_EQ(*back.find(name), *digests.find(name)) << name;
  }
  // The numbers as the line spells them: CRCs in hex, the rest decimal.
  EXPECT_NE(digests.text().find("1000 1733650000123456789 1733650000223456789 424242 s " + kDigestA +
                                 " deadbeef 4242 500 0000abcd w trans/Global.trz\n"),
            std::string::npos);
  EXPECT_NE(digests.text().find(" 424242 u " + std::string(64, 'b')), std::string::npos);
  EXPECT_EQ(SourceDigests::read(test::localFiles(), dir / "missing").size(), 0u);
}

TEST(SourceDigests, NamesTheFormatCannotHoldAreNotRecorded) {
  SourceDigests digests;
  for (const std::string& name : std::vector<std::string>{"", "a\nb", "a\rb", std::string(SourceDigests::kMaxNameBytes + 1, 'n')}) {
    digests.set(name, recordOf(1, 'a', false));
  }
  SourceRecord noDigest = recordOf(1, 'a', false);
  noDigest.digest = "abc";
  digests.set("short digest", noDigest);
  EXPECT_EQ(digests.size(), 0u);
  digests.set(std::string(SourceDigests::kMaxNameBytes, 'n'), recordOf(1, 'a', false));
  EXPECT_EQ(digests.size(), 1u);
}

TEST(SourceDigests, ALineThatDoesNotParseIsDropped) {
  const std::string good = "7 8 9 10 s " + kDigestA + " 1 2 3 4 w good\n";
  struct Case {
    const char* what;
    std::string line;
  };
  const Case cases[] = {
      {"no name", "7 8 9 10 s " + kDigestA + " 1 2 3 4 w\n"},
      {"an empty name", "7 8 9 10 s " + kDigestA + " 1 2 3 4 w \n"},
      {"a short digest", "7 8 9 10 s " + kDigestA.substr(1) + " 1 2 3 4 w bad\n"},
      {"a digest in capitals", "7 8 9 10 s " + std::string(64, 'A') + " 1 2 3 4 w bad\n"},
      {"a kind that is neither", "7 8 9 10 s " + kDigestA + " 1 2 3 4 x bad\n"},
      {"a size with a sign", "-7 8 9 10 s " + kDigestA + " 1 2 3 4 w bad\n"},
      {"a size too large", "99999999999999999999 8 9 10 s " + kDigestA + " 1 2 3 4 w bad\n"},
      {"a CRC of nine digits", "7 8 9 10 s " + kDigestA + " 123456789 2 3 4 w bad\n"},
      {"letters in an offset", "7 8 9 10 s " + kDigestA + " 1 2x 3 4 w bad\n"},
      {"two spaces", "7  8 9 10 s " + kDigestA + " 1 2 3 4 w bad\n"},
      {"a field missing", "7 8 9 s " + kDigestA + " 1 2 3 4 w bad\n"},
      {"settled neither s nor u", "7 8 9 10 y " + kDigestA + " 1 2 3 4 w bad\n"},
      {"an identity with a sign", "7 8 9 -10 s " + kDigestA + " 1 2 3 4 w bad\n"},
      {"an empty line", "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SourceDigests digests = SourceDigests::parse(kFirst + c.line + good);
    EXPECT_EQ(digests.size(), 1u);
    EXPECT_EQ(digests.find("bad"), nullptr);
    ASSERT_NE(digests.find("good"), nullptr);
    EXPECT_EQ(digests.find("good")->storedCrc, 4u);
  }
}

TEST(SourceDigests, ANameRecordedTwiceCountsForNeither) {
  const std::string line = "7 8 9 10 s " + kDigestA + " 1 2 3 4 w twice\n";
  const SourceDigests digests = SourceDigests::parse(kFirst + line + "other\n" + line);
  EXPECT_EQ(digests.find("twice"), nullptr);
  EXPECT_EQ(digests.text(), kFirst);
}

TEST(SourceDigests, AnotherFormatOrAFileTooLargeGivesNoRecords) {
  const test::TempDir dir;
  const std::string body = sample().text().substr(std::string(kFirst).size());
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"no first line", body},
      {"a later version", "vhpatch source digests 4\n" + body},
      {"the version before the memory level of pieces", "vhpatch source digests 2\n" + body},
      {"the version before stamps", "vhpatch source digests 1\n" + body},
      {"a first line ended by CR LF", "vhpatch source digests 3\r\n" + body},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::writeFile(dir / "digests", c.text);
    EXPECT_EQ(SourceDigests::read(test::localFiles(), dir / "digests").size(), 0u);
  }
  // One byte over the bound is not read at all, whatever it holds.
  test::writeFile(dir / "large", sample().text());
  std::filesystem::resize_file(dir / "large", SourceDigests::kMaxFileBytes + 1);
  EXPECT_EQ(SourceDigests::read(test::localFiles(), dir / "large").size(), 0u);
  // A folder is no file of records.
  EXPECT_EQ(SourceDigests::read(test::localFiles(), dir.path()).size(), 0u);
}

TEST(SourceDigests, EveryCutOfTheFileKeepsOnlyWholeRecords) {
  const SourceDigests full = sample();
  const std::string text = full.text();
  for (size_t cut = 0; cut < text.size(); ++cut) {
    const SourceDigests part = SourceDigests::parse(text.substr(0, cut));
    for (const char* name : {"trans/Global.trz", "extra/font with spaces.ttf", "addon/x.txt"}) {
      // A record cut inside its name would name another source: it may
      // only survive as a prefix that no other record has.
      if (const SourceRecord* found = part.find(name)) {
        EXPECT_EQ(*found, *full.find(name)) << cut;
      }
    }
    EXPECT_LE(part.size(), 3u);
  }
}

TEST(SourceDigests, OnlyASettledStampUnchangedVouchesForTheFile) {
  constexpr int64_t kSecond = 1'000'000'000;
  constexpr int64_t kNow = 1733650000 * kSecond;
  const FileStamp taken{1000, kNow - 5 * kSecond, kNow - 3 * kSecond, 77};
  struct Case {
    const char* what;
    int64_t changedBeforeNow;  // when the file changed last, as the record was taken
    std::function<void(FileStamp&)> since;  // what happened to it afterwards
    bool settled;
    bool same;
  };
  const Case cases[] = {
      {"untouched", 3 * kSecond, [](FileStamp&) {}, true, true},
      {"changed just two seconds before", 2 * kSecond, [](FileStamp&) {}, true, true},
      {"changed within the clock's step", 2 * kSecond - 1, [](FileStamp&) {}, false, false},
      {"changed as the record was taken", 0, [](FileStamp&) {}, false, false},
      {"changed after the clock (set back)", -kSecond, [](FileStamp&) {}, false, false},
      {"written since", 3 * kSecond, [](FileStamp& s) { s.changedNs += 1; }, true, false},
      {"its time set back after a write", 3 * kSecond, [](FileStamp& s) { s.changedNs += kSecond; }, true, false},
      {"touched", 3 * kSecond, [](FileStamp& s) { s.modifiedNs += 1; }, true, false},
      {"grown", 3 * kSecond, [](FileStamp& s) { s.size += 1; }, true, false},
      {"another file in its place", 3 * kSecond, [](FileStamp& s) { s.identity += 1; }, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileStamp then = taken;
    then.changedNs = kNow - c.changedBeforeNow;
    SourceRecord record;
    SourceDigests::stamp(record, then, kNow);
    EXPECT_EQ(record.settled, c.settled);
    EXPECT_EQ(record.size, 1000u);
    EXPECT_EQ(record.modified, taken.modifiedNs);
    EXPECT_EQ(record.identity, 77u);
    FileStamp now = then;
    c.since(now);
    EXPECT_EQ(SourceDigests::sameFile(record, now), c.same);
    // What is written and read back vouches the same way.
    record.digest = kDigestA;
    SourceDigests digests;
    digests.set("f", record);
    const SourceDigests back = SourceDigests::parse(digests.text());
    ASSERT_NE(back.find("f"), nullptr);
    EXPECT_EQ(SourceDigests::sameFile(*back.find("f"), now), c.same);
  }
}

}  // namespace
}  // namespace vh
