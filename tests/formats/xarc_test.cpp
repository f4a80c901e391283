#include "formats/xarc.h"

#include <gtest/gtest.h>

#include "app/desktop.h"
#include "app/recording_desktop.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::Bytes;
using test::TempDir;

struct Member {
  std::string name;
  std::string data;
  int32_t flag = 0;
};

// A well-formed archive: the table ends exactly at headerlength and the file
// ends with the last member's data.
std::string makeArchive(const std::vector<Member>& members, int32_t xrcNo = 7) {
  Bytes table;
  for (const Member& m : members) table.cstr(m.name).i32(static_cast<int32_t>(m.data.size())).i32(m.flag);
  Bytes file;
  file.i32(xrcNo).i32(static_cast<int32_t>(members.size())).i32(static_cast<int32_t>(12 + table.size()));
  file.str(table);
  for (const Member& m : members) file.str(m.data);
  return file;
}

std::string saveToString(tXARC& archive) {
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  archive.save(out);
  return buffer->toString();
}

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
      archive.open(path);
      FAIL() << "opened a damaged archive";
    } catch (const FatalError& e) {
      EXPECT_EQ(std::string(e.what()), "invalid XARC size:" + path);
    }
  }
  TempDir dir;
  RecordingDesktop recording;
  ScopedDesktop installed{recording};
};

TEST_F(XarcTest, OpenThenSaveReproducesAWellFormedArchive) {
  const std::string bytes = makeArchive({{"bg.xmg", "IMAGEDATA", 3}, {"Scene.XRC", std::string("\0\1\2\3", 4), -1},
                                         {"empty", "", 0}, {"\xC4\xE3.wav", "sound", 0x7fffffff}});
  tXARC archive;
  ASSERT_EQ(archive.open(write(bytes)), 1);
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
  EXPECT_EQ(saveToString(archive), bytes);
}

TEST_F(XarcTest, MissingFileReportsAndReturnsZero) {
  tXARC archive;
  const std::string path = dir / "none.xarc";
  EXPECT_EQ(archive.open(path), 0);
  EXPECT_EQ(recording.messages(), std::vector<std::string>{"failed to read:" + path});
  EXPECT_TRUE(archive.files.empty());
  EXPECT_EQ(archive.url, path);
  EXPECT_EQ(archive.name, path);
}

TEST_F(XarcTest, LargerReplacementShiftsLaterMembersAndKeepsTheHeaderSize) {
  const std::string bytes = makeArchive({{"a.bin", "AAAA"}, {"b.bin", "BB"}, {"c.bin", "CCC"}});
  tXARC archive;
  ASSERT_EQ(archive.open(write(bytes)), 1);
  const int32_t header = archive.headerlength;
  archive.findFile("b.bin")->replaceBank(ByteBuffer::fromString("0123456789"));
  const std::string saved = saveToString(archive);
  EXPECT_EQ(saved, makeArchive({{"a.bin", "AAAA"}, {"b.bin", "0123456789"}, {"c.bin", "CCC"}}));

  tXARC reopened;
  ASSERT_EQ(reopened.open(write(saved, "b.xarc")), 1);
  EXPECT_EQ(reopened.headerlength, header);
  EXPECT_EQ(reopened.findFile("c.bin")->offset, header + 4 + 10);
  EXPECT_EQ(reopened.findFile("c.bin")->bank->toString(), "CCC");
}

TEST_F(XarcTest, SavingReleasesPlainMemberData) {
  tXARC archive;
  ASSERT_EQ(archive.open(write(makeArchive({{"a.bin", "AAAA"}}))), 1);
  saveToString(archive);
  EXPECT_EQ(archive.files.front()->bank, nullptr);
}

TEST_F(XarcTest, FindFileIgnoresTheCaseOfAsciiLettersOnly) {
  tXARC archive;
  ASSERT_EQ(archive.open(write(makeArchive({{"title.xmg", "1"}, {"\xC4\xE3.bin", "2"}, {"TITLE.XMG", "3"}}))), 1);
  EXPECT_EQ(archive.findFile("TITLE.XMG")->bank->toString(), "1");  // the first in table order
  EXPECT_EQ(archive.findFile("\xC4\xE3.BIN")->bank->toString(), "2");
  EXPECT_EQ(archive.findFile("\xE4\xE3.bin"), nullptr);  // 0xC4 and 0xE4 are no letters
  EXPECT_EQ(archive.findFile("title"), nullptr);
}

TEST_F(XarcTest, RecordFileIsFoundByItsExtensionInAnyCase) {
  tXARC archive;
  ASSERT_EQ(archive.open(write(makeArchive({{"a.bin", "1"}, {"SCENE.XRC", std::string(14, '\0')}}))), 1);
  ASSERT_NE(archive.getXRC(), nullptr);
  EXPECT_EQ(archive.getXRC()->name, "SCENE.XRC");
  tXARC none;
  ASSERT_EQ(none.open(write(makeArchive({{"a.xrcx", "1"}}), "n.xarc")), 1);
  EXPECT_EQ(none.getXRC(), nullptr);
}

TEST(GetExtName, TakesTheTextAfterTheLastDotLowerCased) {
  EXPECT_EQ(tXARC::getExtName("scene.backup.XRC"), "xrc");
  EXPECT_EQ(tXARC::getExtName("noextension"), "");
  EXPECT_EQ(tXARC::getExtName(".xmg"), "xmg");
  EXPECT_EQ(tXARC::getExtName("static/v1.2/name"), "2/name");
  EXPECT_EQ(tXARC::getExtName("ends."), "");
}

TEST_F(XarcTest, ShortFilesOpenQuietly) {
  tXARC archive;
  ASSERT_EQ(archive.open(write("")), 1);
  EXPECT_TRUE(archive.files.empty());
  ASSERT_EQ(archive.open(write(Bytes().i32(5).i32(3).u16(1))), 1);  // 10 bytes
  EXPECT_TRUE(archive.files.empty());
  EXPECT_EQ(archive.xrcNo, 5);
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
}

TEST_F(XarcTest, BytesBetweenTableAndHeaderLengthAreKept) {
  Bytes file;
  file.i32(1).i32(2).i32(12 + 12 + 12 + 6);
  file.cstr("a.b").i32(3).i32(0).cstr("c.d").i32(2).i32(9);
  file.str("GAP456");  // six bytes the table does not use
  file.str("AAA").str("CC");
  tXARC archive;
  ASSERT_EQ(archive.open(write(file)), 1);
  EXPECT_EQ(archive.findFile("a.b")->bank->toString(), "AAA");
  EXPECT_EQ(archive.findFile("c.d")->bank->toString(), "CC");
  EXPECT_EQ(saveToString(archive), file.bytes());
}

TEST_F(XarcTest, ANameThatLostACarriageReturnKeepsTheDataInPlace) {
  Bytes file;
  file.i32(1).i32(2).i32(12 + 13 + 12 + 2);
  file.cstr("a\r.b").i32(3).i32(0).cstr("c.d").i32(2).i32(0);
  file.str("GG");
  file.str("AAA").str("CC");
  tXARC archive;
  ASSERT_EQ(archive.open(write(file)), 1);
  EXPECT_EQ(archive.files.front()->name, "a.b");
  const std::string saved = saveToString(archive);
  Bytes expected;
  expected.i32(1).i32(2).i32(12 + 13 + 12 + 2);
  expected.cstr("a.b").i32(3).i32(0).cstr("c.d").i32(2).i32(0);
  expected.u8(0);  // the lost carriage return's place
  expected.str("GG").str("AAA").str("CC");
  EXPECT_EQ(saved, expected.bytes());
  tXARC reopened;
  ASSERT_EQ(reopened.open(write(saved, "again.xarc")), 1);
  EXPECT_EQ(reopened.findFile("c.d")->bank->toString(), "CC");
}

TEST_F(XarcTest, ReplaceWithStreamTakesCountBytesFromThePosition) {
  tXARC archive;
  ASSERT_EQ(archive.open(write(makeArchive({{"a.bin", "AAAA"}}))), 1);
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
