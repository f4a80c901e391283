#include "formats/xarc.h"

#include <gtest/gtest.h>

#include <optional>

#include "formats/xrc.h"
#include "tests/formats/archive_fixture.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::Bytes;
using test::embedded;
using test::makeArchive;
using test::Rec;
using test::recordFile;
using test::TempDir;

class XarcTest : public ::testing::Test {
 protected:
  std::string write(const std::string& bytes, const std::string& file = "a.xarc") {
    const std::string path = dir / file;
    test::writeFile(path, bytes);
    return path;
  }
  // Opens and expects the fatal "invalid XARC size:" + path.
  void expectInvalid(const std::string& bytes) {
    const std::string path = write(bytes);
    tXARC archive;
    try {
      archive.open(path, recording);
      FAIL() << "opened a damaged archive";
    } catch (const FatalError& e) {
      EXPECT_EQ(std::string(e.what()), "invalid XARC size:" + path);
    }
  }
  TempDir dir;
  RecordingHost recording;
};

TEST_F(XarcTest, OpenThenSaveReproducesAWellFormedArchive) {
  const std::string records =
      recordFile({{9, 6, 0x1234, "root", "", 1, 0xBEEF}, {29, 0, 2, "", embedded("", "hi", "T"), 0, 1}});
  const std::string bytes = makeArchive({{"bg.xmg", "IMAGEDATA", 3},
                                         {"Scene.XRC", records, -1},
                                         {"empty", "", 0},
                                         {"\xC4\xE3.wav", "sound", 0x7fffffff}});
  tXARC archive;
  ASSERT_EQ(archive.open(write(bytes), recording), 1);
  EXPECT_EQ(archive.xrcNo, 7);
  EXPECT_EQ(archive.filecount, 4);
  ASSERT_EQ(archive.files.size(), 4u);
  auto it = archive.files.begin();
  EXPECT_EQ((*it)->name, "bg.xmg");
  EXPECT_EQ((*it)->offset, archive.headerlength);
  EXPECT_EQ((*it)->flag, 3);
  EXPECT_EQ((*it)->bank->toString(), "IMAGEDATA");
  EXPECT_EQ((*it)->parent, &archive);
  ++it;
  EXPECT_EQ((*it)->offset, archive.headerlength + 9);
  EXPECT_EQ(test::saved(archive), bytes);
}

TEST_F(XarcTest, MissingFileReportsAndReturnsZero) {
  tXARC archive;
  const std::string path = dir / "none.xarc";
  EXPECT_EQ(archive.open(path, recording), 0);
  EXPECT_EQ(recording.messages(), std::vector<std::string>{"failed to read:" + path});
  EXPECT_TRUE(archive.files.empty());
  EXPECT_EQ(archive.url, path);
  EXPECT_EQ(archive.name, path);
}

TEST_F(XarcTest, LargerReplacementShiftsLaterMembersAndKeepsTheHeaderSize) {
  const std::string bytes = makeArchive({{"a.bin", "AAAA"}, {"b.bin", "BB"}, {"c.bin", "CCC"}});
  tXARC archive;
  ASSERT_EQ(archive.open(write(bytes), recording), 1);
  const int32_t header = archive.headerlength;
  archive.findFile("b.bin")->replaceBank(ByteBuffer::fromString("0123456789"));
  const std::string saved = test::saved(archive);
  EXPECT_EQ(saved, makeArchive({{"a.bin", "AAAA"}, {"b.bin", "0123456789"}, {"c.bin", "CCC"}}));

  tXARC reopened;
  ASSERT_EQ(reopened.open(write(saved, "b.xarc"), recording), 1);
  EXPECT_EQ(reopened.headerlength, header);
  EXPECT_EQ(reopened.findFile("c.bin")->offset, header + 4 + 10);
  EXPECT_EQ(reopened.findFile("c.bin")->bank->toString(), "CCC");
}

TEST_F(XarcTest, SavingReleasesPlainMemberData) {
  tXARC archive;
  ASSERT_EQ(archive.open(write(makeArchive({{"a.bin", "AAAA"}})), recording), 1);
  test::saved(archive);
  EXPECT_EQ(archive.files.front()->bank, nullptr);
}

TEST_F(XarcTest, FindFileIgnoresTheCaseOfAsciiLettersOnly) {
  tXARC archive;
  ASSERT_EQ(archive.open(write(makeArchive({{"title.xmg", "1"}, {"\xC4\xE3.bin", "2"}, {"TITLE.XMG", "3"}})), recording), 1);
  EXPECT_EQ(archive.findFile("TITLE.XMG")->bank->toString(), "1");  // the first in table order
  EXPECT_EQ(archive.findFile("\xC4\xE3.BIN")->bank->toString(), "2");
  EXPECT_EQ(archive.findFile("\xE4\xE3.bin"), nullptr);  // 0xC4 and 0xE4 are no letters
  EXPECT_EQ(archive.findFile("title"), nullptr);
}

TEST_F(XarcTest, RecordFileIsFoundByItsExtensionInAnyCase) {
  tXARC archive;
  ASSERT_EQ(archive.open(write(makeArchive({{"a.bin", "1"}, {"SCENE.XRC", std::string(14, '\0')}})), recording), 1);
  ASSERT_NE(archive.getXRC(), nullptr);
  EXPECT_EQ(archive.getXRC()->name, "SCENE.XRC");
  tXARC none;
  ASSERT_EQ(none.open(write(makeArchive({{"a.xrcx", "1"}}), "n.xarc"), recording), 1);
  EXPECT_EQ(none.getXRC(), nullptr);
}

TEST(GetExtName, TakesTheTextAfterTheLastDotLowerCased) {
  EXPECT_EQ(tXARC::getExtName("scene.backup.XRC"), "xrc");
  EXPECT_EQ(tXARC::getExtName("noextension"), "");
  EXPECT_EQ(tXARC::getExtName(".xmg"), "xmg");
  EXPECT_EQ(tXARC::getExtName("static/v1.2/name"), "2/name");
  EXPECT_EQ(tXARC::getExtName("ends."), "");
}

TEST_F(XarcTest, ShortFilesOpenQuietlyAndAreNeverWrittenBack) {
  for (const std::string& bytes : {std::string(), Bytes().i32(5).i32(3).u16(1).bytes()}) {
    SCOPED_TRACE(bytes.size());
    tXARC archive;
    ASSERT_EQ(archive.open(write(bytes), recording), 1);
    EXPECT_TRUE(archive.files.empty());
    EXPECT_EQ(recording.messages(), std::vector<std::string>{});
    // Saved, the zeros read for the missing header bytes would claim members
    // that the next open refuses.
    EXPECT_FALSE(archive.savable());
    auto written = std::make_shared<ByteBuffer>();
    BufferStream out(written);
    EXPECT_THROW(archive.save(out), StreamError);
    EXPECT_EQ(written->size(), 0u);
  }
  // A whole header with no members is written back as it was.
  tXARC empty;
  ASSERT_EQ(empty.open(write(Bytes().i32(5).i32(0).i32(12)), recording), 1);
  EXPECT_TRUE(empty.savable());
  EXPECT_EQ(test::saved(empty), Bytes().i32(5).i32(0).i32(12).bytes());
}

TEST_F(XarcTest, MemberCountsAreWeighedAgainstTheBytesThatCanBackThem) {
  // Nine bytes per entry: an empty name's 0 byte, length and flag.
  constexpr int32_t kEntries = 20000;
  Bytes table;
  for (int32_t i = 0; i < kEntries; ++i) table.u8(0).i32(0).i32(0);
  const int32_t fileSize = 12 + 9 * kEntries;
  const auto archiveWithCount = [&](int32_t count) {
    return Bytes().i32(1).i32(count).i32(fileSize).str(table).bytes();
  };
  struct Case {
    std::string bytes;
    int32_t members;  // -1: "invalid XARC size:"
  };
  const std::vector<Case> cases = {
      {archiveWithCount(kEntries), kEntries},
      // A table cut short by a few entries reads them as empty members.
      {archiveWithCount(kEntries + 64), kEntries + 64},
      {archiveWithCount(kEntries + 65), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.members);
    if (c.members < 0) {
      expectInvalid(c.bytes);
      continue;
    }
    tXARC archive;
    ASSERT_EQ(archive.open(write(c.bytes), recording), 1);
    EXPECT_EQ(static_cast<int32_t>(archive.files.size()), c.members);
    EXPECT_EQ(recording.messages(), std::vector<std::string>{});
    // Written out in full, the cut table would pass headerlength.
    EXPECT_EQ(archive.savable(), c.members == kEntries);
    if (c.members == kEntries) {
      EXPECT_EQ(test::saved(archive), c.bytes);
    }
  }
}

TEST_F(XarcTest, LyingHeadersAreRejectedWithoutHugeAllocations) {
  // Two billion members in a 30-byte file.
  expectInvalid(Bytes().i32(0).i32(2000000000).i32(12).cstr("a").i32(1).i32(0).u8('x'));
  expectInvalid(Bytes().i32(0).i32(-1).i32(12));
  // A negative length.
  expectInvalid(Bytes().i32(0).i32(1).i32(22).cstr("a").i32(-5).i32(0).str("xxxx"));
  // offset + length past the end, and past 32 bits.
  expectInvalid(Bytes().i32(0).i32(1).i32(22).cstr("a").i32(0x7fffffff).i32(0).str("xx"));
  expectInvalid(Bytes().i32(0).i32(2).i32(31).cstr("a").i32(2).i32(0).cstr("b").i32(0x7ffffffe).i32(0).str("xx"));
  // A member that runs one byte past the end.
  expectInvalid(Bytes().i32(0).i32(1).i32(22).cstr("a").i32(3).i32(0).str("xx"));
  // A negative headerlength.
  expectInvalid(Bytes().i32(0).i32(1).i32(-100).cstr("a").i32(0).i32(0));
  // A table that runs past headerlength.
  expectInvalid(Bytes().i32(0).i32(1).i32(16).cstr("abcdef").i32(0).i32(0).str("data"));
  // A record file that overruns the end leaves the plain member after it
  // beginning past the end.
  expectInvalid(Bytes().i32(0).i32(2).i32(36).cstr("s.xrc").i32(20).i32(0).cstr("b").i32(0).i32(0).str("xx"));
  // A negative length on a record file.
  expectInvalid(Bytes().i32(0).i32(1).i32(26).cstr("s.xrc").i32(-1).i32(0).str(std::string(14, '\0')));
}

TEST_F(XarcTest, BytesBetweenTableAndHeaderLengthAreKept) {
  Bytes file;
  file.i32(1).i32(2).i32(12 + 12 + 12 + 6);
  file.cstr("a.b").i32(3).i32(0).cstr("c.d").i32(2).i32(9);
  file.str("GAP456");  // six bytes the table does not use
  file.str("AAA").str("CC");
  tXARC archive;
  ASSERT_EQ(archive.open(write(file), recording), 1);
  EXPECT_EQ(archive.findFile("a.b")->bank->toString(), "AAA");
  EXPECT_EQ(archive.findFile("c.d")->bank->toString(), "CC");
  EXPECT_EQ(test::saved(archive), file.bytes());
}

TEST_F(XarcTest, ANameThatLostACarriageReturnKeepsTheDataInPlace) {
  Bytes file;
  file.i32(1).i32(2).i32(12 + 13 + 12 + 2);
  file.cstr("a\r.b").i32(3).i32(0).cstr("c.d").i32(2).i32(0);
  file.str("GG");
  file.str("AAA").str("CC");
  tXARC archive;
  ASSERT_EQ(archive.open(write(file), recording), 1);
  EXPECT_EQ(archive.files.front()->name, "a.b");
  const std::string saved = test::saved(archive);
  Bytes expected;
  expected.i32(1).i32(2).i32(12 + 13 + 12 + 2);
  expected.cstr("a.b").i32(3).i32(0).cstr("c.d").i32(2).i32(0);
  expected.u8(0);  // the lost carriage return's place
  expected.str("GG").str("AAA").str("CC");
  EXPECT_EQ(saved, expected.bytes());
  tXARC reopened;
  ASSERT_EQ(reopened.open(write(saved, "again.xarc"), recording), 1);
  EXPECT_EQ(reopened.findFile("c.d")->bank->toString(), "CC");
}

TEST_F(XarcTest, ReplaceWithStreamTakesCountBytesFromThePosition) {
  tXARC archive;
  ASSERT_EQ(archive.open(write(makeArchive({{"a.bin", "AAAA"}})), recording), 1);
  const std::string source = "0123456789";
  MemoryStream in(static_cast<const void*>(source.data()), source.size());
  in.seek(3);
  tXFilePtr member = archive.files.front();
  member->replaceWithStream(in, 5);
  EXPECT_EQ(member->length, 5);
  EXPECT_EQ(member->bank->toString(), "34567");
  auto s = member->getStream();
  EXPECT_EQ(s->position(), 0);
  EXPECT_EQ(s->readString(2), "34");
  s->writeString("xy");
  EXPECT_EQ(member->bank->toString(), "34xy7");
}

// ---- The record-file member

TEST_F(XarcTest, RecordFileIsParsedAndGetsTheArchiveSubId) {
  const std::string records = recordFile({{9, 6, 1, "a", "", 0, 0}});
  tXARC archive;
  archive.subId = 12;
  ASSERT_EQ(archive.open(write(makeArchive({{"a.bin", "1"}, {"s.xrc", records}})), recording), 1);
  ASSERT_NE(archive.getXRC(), nullptr);
  EXPECT_EQ(archive.getXRC()->subId, 12);
  EXPECT_EQ(archive.getXRC()->bank, nullptr);  // its content is the tree
  ASSERT_EQ(archive.getXRC()->records.size(), 1u);
  EXPECT_EQ(archive.getXRC()->records.front()->data.title, "a");
}

TEST_F(XarcTest, RecordFileAfterAHeaderGapIsReadFromItsOwnOffset) {
  // The table ends six bytes before headerlength; parsing from the table's
  // end would take "GAP456" for a record.
  const std::string records = recordFile({{23, 0, 5, "name", "", 1, 9}, {29, 1, 6, "", embedded("", "x", ""), 0, 0}});
  Bytes file;
  file.i32(1).i32(2).i32(static_cast<int32_t>(12 + 14 + 12 + 6));
  file.cstr("s.xrc").i32(static_cast<int32_t>(records.size())).i32(0).cstr("b.b").i32(2).i32(0);
  file.str("GAP456");
  file.str(records).str("BB");
  tXARC archive;
  ASSERT_EQ(archive.open(write(file), recording), 1);
  ASSERT_EQ(archive.getXRC()->records.size(), 2u);
  EXPECT_EQ(archive.getXRC()->records.front()->data.title, "name");
  EXPECT_EQ(archive.getXRC()->damage(), "");
  EXPECT_EQ(test::saved(archive), file.bytes());
}

TEST_F(XarcTest, RecordFileNamedWithALostCarriageReturnRoundTrips) {
  const std::string records = recordFile({{13, 0, 1, "t", "", 0, 0}});
  Bytes file;
  file.i32(1).i32(2).i32(static_cast<int32_t>(12 + 11 + 4 + 12));
  file.cstr("b.b").i32(2).i32(0).cstr("s\r.xrc").i32(static_cast<int32_t>(records.size())).i32(0);
  file.str("BB").str(records);
  tXARC archive;
  ASSERT_EQ(archive.open(write(file), recording), 1);
  EXPECT_EQ(archive.getXRC()->name, "s.xrc");
  EXPECT_EQ(archive.getXRC()->records.front()->data.title, "t");
  tXARC reopened;
  ASSERT_EQ(reopened.open(write(test::saved(archive), "again.xarc"), recording), 1);
  EXPECT_EQ(reopened.findFile("b.b")->bank->toString(), "BB");
  EXPECT_EQ(reopened.getXRC()->records.front()->data.title, "t");
}

TEST_F(XarcTest, RecordFileLengthIsRecomputedOnSave) {
  // The table gives 20 bytes, the tree takes 14: the six bytes after the
  // tree are neither kept nor counted.
  const std::string tree = recordFile({{3, 0, 1, "", "", 0, 0}});
  const std::string bytes = makeArchive({{"s.xrc", tree + "JUNKJK"}, {"z.bin", "ZZ"}});
  tXARC archive;
  ASSERT_EQ(archive.open(write(bytes), recording), 1);
  EXPECT_EQ(archive.getXRC()->length, 20);
  const std::string saved = test::saved(archive);
  Bytes expected;
  expected.i32(7).i32(2).i32(12 + 14 + 14);
  expected.cstr("s.xrc").i32(14).i32(0).cstr("z.bin").i32(2).i32(0);
  expected.str(tree).str("ZZ");
  EXPECT_EQ(saved, expected.bytes());
}

TEST_F(XarcTest, RecordFileCutShortByTheEndOfTheArchiveReadsZeros) {
  // The root promises two children; the file ends inside the first one's
  // title. The missing bytes come out as zeros and the archive still opens,
  // whatever length the table gave the record file: the bytes that are
  // there, the whole tree's, or far more.
  const std::string cut = recordFile({{9, 6, 1, "r", "", 2, 0}}) + Bytes().u8(29).u8(0).u16(2).u16(3).str("A").bytes();
  const std::string tree = recordFile({{9, 6, 1, "r", "", 2, 0}, {29, 0, 2, std::string("A\0\0", 3), "", 0, 0}, {}});
  for (const int32_t claimed : {static_cast<int32_t>(cut.size()), static_cast<int32_t>(tree.size()), 0x7fffffff}) {
    SCOPED_TRACE(claimed);
    RecordingHost seen;
    Bytes file;
    file.i32(7).i32(2).i32(12 + 14 + 14);
    file.cstr("a.bin").i32(2).i32(0).cstr("s.xrc").i32(claimed).i32(0);
    file.str("AA").str(cut);
    tXARC archive;
    ASSERT_EQ(archive.open(write(file), seen), 1);
    const auto records = archive.getXRC()->getRecordArray();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1]->data.title, std::string("A\0\0", 3));
    EXPECT_EQ(records[2]->data.type1, 0);
    EXPECT_EQ(records[2]->parent.lock(), records[0]);
    EXPECT_EQ(seen.messages(), std::vector<std::string>{});
    EXPECT_EQ(test::saved(archive), makeArchive({{"a.bin", "AA"}, {"s.xrc", tree}}));
  }
}

TEST_F(XarcTest, DamagedRecordFileIsAnArchiveThatCannotBeRead) {
  const std::string sound = recordFile({{9, 6, 1, "ok", "", 0, 0}});
  const std::vector<std::string> damaged = {
      // A negative subStringLength.
      Bytes().u8(29).u8(0).u16(1).u16(0).i32(-2).u16(0).u16(0),
      // A subString of two gigabytes in a few bytes of data.
      Bytes().u8(29).u8(0).u16(1).u16(0).i32(0x7fffffff).u16(0).u16(0),
      // 65535 children, none of them there: almost a megabyte of zero records.
      Bytes().u8(9).u8(6).u16(1).u16(0).i32(0).u16(0xFFFF).u16(0),
      // Each level's promise fits the limit; together they need far more.
      recordFile({{9, 6, 1, "", "", 4000, 0}, {9, 6, 2, "", "", 4000, 0}}),
  };
  for (size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE(i);
    RecordingHost seen;
    // With two record files, a damaged first one is refused even though the
    // archive's xrc is the sound last one.
    const std::string path = write(makeArchive({{"a.bin", "1"}, {"s.xrc", damaged[i]}, {"t.xrc", sound}}));
    const std::string before = test::readFile(path);
    tXARC archive;
    EXPECT_EQ(archive.open(path, seen), 0);
    EXPECT_EQ(seen.messages(), std::vector<std::string>{"failed to read:" + path});
    ASSERT_EQ(seen.texts(RecordingHost::Kind::Debug).size(), 1u);
    EXPECT_NE(seen.texts(RecordingHost::Kind::Debug)[0].find("s.xrc"), std::string::npos);
    EXPECT_TRUE(archive.files.empty());
    EXPECT_EQ(archive.getXRC(), nullptr);
    EXPECT_EQ(test::readFile(path), before);
  }
}

// Every truncation and many one-byte corruptions of a small archive with a
// record file: each either opens, is refused with "failed to read:", or is
// the fatal "invalid XARC size:"; what opens saves and reopens to the same
// records. Run under the sanitizers this is the damaged-input sweep.
TEST_F(XarcTest, TruncatedAndCorruptedArchivesNeverMisbehave) {
  const std::string records = recordFile({{9, 6, 1, "grp", "", 2, 4},
                                          {29, 0, 2, "", embedded("", "\xC4\xE3", "tl"), 1, 0},
                                          {13, 0, 3, "", embedded(std::string(66, 'p'), "txt", ""), 0, 0},
                                          {23, 0, 4, "obj", "", 0, 0}});
  const std::string good = makeArchive({{"a.bin", "AA"}, {"s.xrc", records}, {"z.bin", "ZZZ"}});
  std::vector<std::string> variants;
  // Headers shorter than 12 bytes are the archive layer's own case (they
  // open empty and are never saved); left out here.
  for (size_t n = 12; n < good.size(); ++n) variants.push_back(good.substr(0, n));
  for (size_t at = 0; at < good.size(); ++at) {
    for (const char value : {'\x00', '\x01', '\x7f', '\x80', '\xff'}) {
      std::string v = good;
      v[at] = value;
      variants.push_back(v);
    }
  }
  int opened = 0, refused = 0, fatal = 0;
  for (const std::string& v : variants) {
    RecordingHost seen;
    const std::string path = write(v, "v.xarc");
    tXARC archive;
    try {
      if (archive.open(path, seen) == 0) {
        ++refused;
        EXPECT_EQ(seen.messages(), std::vector<std::string>{"failed to read:" + path});
        continue;
      }
    } catch (const FatalError& e) {
      ++fatal;
      EXPECT_EQ(std::string(e.what()), "invalid XARC size:" + path);
      continue;
    }
    ++opened;
    std::vector<std::string> titles;
    if (archive.getXRC()) {
      for (const tRecordPtr& r : archive.getXRC()->records) titles.push_back(r->data.title);
    }
    tXARC reopened;
    const std::string saved = test::saved(archive);
    ASSERT_EQ(reopened.open(write(saved, "w.xarc"), recording), 1);
    std::vector<std::string> again;
    if (reopened.getXRC()) {
      for (const tRecordPtr& r : reopened.getXRC()->records) again.push_back(r->data.title);
    }
    EXPECT_EQ(again, titles);
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
  EXPECT_GT(fatal, 0);
}

// read() is the open without a word to the user: each fault comes back with
// its kind and a detail, and the message open() would show for it.
TEST_F(XarcTest, ReadReturnsFaultsAndShowsNothing) {
  struct Case {
    const char* what;
    std::string bytes;  // empty: no file at all
    std::optional<FaultKind> kind;
    std::string detail;  // a part of the fault's detail
    std::string shown;   // openFailureText's prefix
  };
  const std::vector<Case> cases = {
      {"well formed", makeArchive({{"a.bin", "1"}, {"s.xrc", recordFile({{9, 6, 1, "ok", "", 0, 0}})}}),
       std::nullopt, "", ""},
      {"missing", "", FaultKind::CannotOpen, "cannot be opened", "failed to read:"},
      {"count beyond the bytes", Bytes().i32(0).i32(1000).i32(12), FaultKind::BadSize, "member count 1000",
       "invalid XARC size:"},
      {"member past the end", Bytes().i32(0).i32(1).i32(22).cstr("a").i32(3).i32(0).str("xx"), FaultKind::BadSize,
       "member 0 of 3 bytes", "invalid XARC size:"},
      {"table past headerlength", Bytes().i32(0).i32(1).i32(16).cstr("abcdef").i32(0).i32(0).str("data"),
       FaultKind::BadSize, "past headerlength 16", "invalid XARC size:"},
      {"damaged record file", makeArchive({{"s.xrc", Bytes().u8(29).u8(0).u16(1).u16(0).i32(-2).u16(0).u16(0)}}),
       FaultKind::Damaged, "negative subStringLength", "failed to read:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = c.bytes.empty() ? dir / "none.xarc" : write(c.bytes);
    tXARC archive;
    const std::optional<Fault> fault = archive.read(path);
    EXPECT_TRUE(recording.events.empty());
    if (!c.kind) {
      EXPECT_FALSE(fault.has_value());
      EXPECT_TRUE(archive.savable());
      continue;
    }
    ASSERT_TRUE(fault.has_value());
    EXPECT_EQ(fault->kind, *c.kind);
    EXPECT_NE(fault->detail.find(c.detail), std::string::npos) << fault->detail;
    EXPECT_EQ(tXARC::openFailureText(*fault, path), c.shown + path);
    EXPECT_FALSE(archive.savable());
  }
}

TEST(XFileCreate, SetsTheFourFields) {
  tXARC owner;
  auto file = tXFile::Create("m.bin", 40, 8, &owner);
  EXPECT_EQ(file->name, "m.bin");
  EXPECT_EQ(file->offset, 40);
  EXPECT_EQ(file->length, 8);
  EXPECT_EQ(file->parent, &owner);
  EXPECT_EQ(file->flag, 0);
  EXPECT_EQ(file->bank, nullptr);
}

}  // namespace
}  // namespace vh
