#include "common/stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

TEST(Stream, FixedSizeReadsPastTheEndDeliverZerosQuietly) {
  const uint8_t data[] = {0x01, 0x02, 0x03};
  MemoryStream s(static_cast<const void*>(data), sizeof data);
  EXPECT_EQ(s.readU16(), 0x0201);
  EXPECT_EQ(s.readI32(), 3);  // one real byte, three zeros
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(s.readU8(), 0);
  EXPECT_EQ(s.readI32(), 0);
  EXPECT_EQ(s.readString(3), std::string(3, '\0'));
}

TEST(Stream, IntegersAreLittleEndianAndOnly32BitIsSigned) {
  const uint8_t data[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  MemoryStream s(static_cast<const void*>(data), sizeof data);
  EXPECT_EQ(s.readU8(), 255);
  EXPECT_EQ(s.readU16(), 65535);
  EXPECT_EQ(s.readI32(), -1);
}

TEST(Stream, BulkReadReportsShortCount) {
  const std::string data = "hello";
  MemoryStream s(static_cast<const void*>(data.data()), data.size());
  char buffer[16] = {};
  EXPECT_EQ(s.read(buffer, sizeof buffer), 5u);
  EXPECT_EQ(s.read(buffer, sizeof buffer), 0u);  // at the end: nothing, no error
}

// A source whose data is there but whose reads fail, like a disk error.
class FailingStream : public Stream {
 public:
  int64_t position() const override { return 0; }
  int64_t size() const override { return 10; }
  void seek(int64_t) override {}
  void write(const void*, size_t) override { throw StreamError(kWriteError); }

 protected:
  size_t readSome(void*, size_t) override { return 0; }
};

TEST(Stream, ReadErrorOnlyWhenNothingIsDeliveredBeforeTheEnd) {
  FailingStream s;
  char c;
  try {
    s.read(&c, 1);
    FAIL() << "no error raised";
  } catch (const StreamError& e) {
    EXPECT_STREQ(e.what(), "Error reading from stream");
  }
  EXPECT_THROW(s.readI32(), StreamError);
}

TEST(Stream, LineRuleStopsAtLfZeroOrEndAndDropsEveryCr) {
  const std::string data = std::string("ab\rc\r\nde\0fg\r\r\nlast", 19);
  MemoryStream s(static_cast<const void*>(data.data()), data.size());
  EXPECT_EQ(s.readLine(), "abc");
  EXPECT_EQ(s.readLine(), "de");
  EXPECT_EQ(s.readLine(), "fg");
  EXPECT_EQ(s.readLine(), "last");
  EXPECT_TRUE(s.atEnd());
  EXPECT_EQ(s.readLine(), "");
}

TEST(Stream, WritingALineEndsItWithCrLf) {
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream s(buffer);
  s.writeLine("99=static/abcdefg/99.xarc");
  s.writeLine("");
  s.writeLine("\xC4\xE3");
  EXPECT_EQ(buffer->toString(), "99=static/abcdefg/99.xarc\r\n\r\n\xC4\xE3\r\n");
}

TEST(Stream, WritesAreLittleEndian) {
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream s(buffer);
  s.writeU8(1);
  s.writeU16(0x0302);
  s.writeI32(-2);
  s.writeString("ok");
  EXPECT_EQ(buffer->toString(), std::string("\x01\x02\x03\xFE\xFF\xFF\xFFok", 9));
}

TEST(BufferStream, OpensAtZeroAndWritesOverAndPastTheEnd) {
  auto buffer = ByteBuffer::fromString("abcdef");
  BufferStream s(buffer);
  EXPECT_EQ(s.position(), 0);
  EXPECT_EQ(s.readString(2), "ab");
  s.seek(4);
  s.writeString("XYZ");
  EXPECT_EQ(buffer->toString(), "abcdXYZ");
  EXPECT_EQ(s.size(), 7);
}

TEST(MemoryStream, RefusesWritesItCannotComplete) {
  char block[4] = {};
  MemoryStream writable(static_cast<void*>(block), sizeof block);
  writable.writeString("abc");
  try {
    writable.writeString("de");
    FAIL() << "no error raised";
  } catch (const StreamError& e) {
    EXPECT_STREQ(e.what(), "Error writing to stream");
  }
  const char constant[4] = {};
  MemoryStream readOnly(static_cast<const void*>(constant), sizeof constant);
  EXPECT_THROW(readOnly.writeU8(1), StreamError);
}

// Every reader of a file from outside opens it through here: a pipe must
// not hold the open, a device must not be read without end.
TEST(FileStream, ReadsOnlyARegularFile) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  for (const std::string& path : {dir / "pipe", std::string("/dev/zero"), dir.path()}) {
    EXPECT_EQ(FileStream::open(path, FileMode::Read), nullptr) << path;
  }
  test::writeFile(dir / "f", "bytes");
  auto read = FileStream::open(dir / "f", FileMode::Read);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->readRest(), "bytes");
}

TEST(FileStream, ModesFollowTheirRules) {
  TempDir dir;
  const std::string path = dir / "f.bin";
  EXPECT_EQ(FileStream::open(path, FileMode::Read), nullptr);
  EXPECT_EQ(FileStream::open(path, FileMode::ReadWrite), nullptr);
  {
    auto w = FileStream::open(path, FileMode::Write);
    ASSERT_NE(w, nullptr);
    w->writeString("0123456789");
  }
  {
    auto rw = FileStream::open(path, FileMode::ReadWrite);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(rw->size(), 10);
    EXPECT_EQ(rw->readString(3), "012");
    rw->writeString("ab");  // reading then writing at the same position
    EXPECT_EQ(rw->readString(2), "56");
  }
  EXPECT_EQ(test::readFile(path), "012ab56789");
  {
    auto w = FileStream::open(path, FileMode::Write);  // truncates
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->size(), 0);
  }
  EXPECT_EQ(test::readFile(path), "");
}

TEST(FileStream, BackslashesCountAsSlashesAndFoldersAreNoFiles) {
  TempDir dir;
  test::makeFolders(dir / "sub");
  test::writeFile(dir / "sub/x.txt", "x");
  std::string windowsStyle = dir.path() + "\\sub\\x.txt";
  auto s = FileStream::open(windowsStyle, FileMode::Read);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->readLine(), "x");
  EXPECT_EQ(FileStream::open(dir / "sub", FileMode::Read), nullptr);
}

TEST(FileStream, SeekAndSizeTrackWrites) {
  TempDir dir;
  auto s = FileStream::open(dir / "g.bin", FileMode::Write);
  ASSERT_NE(s, nullptr);
  s->writeI32(7);
  s->seek(10);
  s->writeU8(1);
  EXPECT_EQ(s->size(), 11);
  EXPECT_EQ(s->position(), 11);
}

}  // namespace
}  // namespace vh
