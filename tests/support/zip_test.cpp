#include "support/zip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstring>

#include "common/files.h"
#include "common/large_blocks.h"
#include "tests/recording_host.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

class ZipTest : public ::testing::Test {
 protected:
  std::string write(const std::vector<std::pair<std::string, std::string>>& members, const std::string& name = "p.zip") {
    return test::writePackage(dir / name, members);
  }
  static std::string all(const std::shared_ptr<ZipRamStream>& s) {
    return s ? s->readString(static_cast<size_t>(s->size())) : "<null>";
  }
  TempDir dir;
};

TEST_F(ZipTest, WriterAndReaderRoundTripAndPeersAgree) {
  // Longer than kLargeBlock, so that its extraction takes the large-page
  // buffer, whose bytes are never zeroed first.
  std::string big;
  for (size_t i = 0; i < kLargeBlock + 100000; ++i) big += static_cast<char>((i * 7919) % 251);
  test::makeFolders(dir / "trans");
  test::writeFile(dir / "trans/a.trz", "id=A990001\n>>\n");
  chmod((dir / "trans/a.trz").c_str(), 0444);  // read-only sources are packed too
  const std::string path = dir / "p.zip";
  {
    ZipWriter writer;
    ASSERT_EQ(writer.OpenZip(path, 0), 1);
    EXPECT_EQ(writer.getFileCount(), 0);
    writer.AddFile(dir / "trans/a.trz", "");
    BufferStream list(ByteBuffer::fromString(big));
    writer.AddStream(&list, "patchscene.lst", "");
    BufferStream empty(std::make_shared<ByteBuffer>());
    writer.AddStream(&empty, "empty.lst", "");
    EXPECT_EQ(writer.getFileCount(), 3);
    EXPECT_NE(writer.getFileInfoByName("empty.lst"), nullptr);
    writer.CloseZip("");
    EXPECT_EQ(writer.getFileCount(), 0);
  }
  const auto tested = test::runCommand("unzip -t '" + path + "'");
  EXPECT_EQ(tested.status, 0) << tested.out;
  EXPECT_NE(tested.out.find("No errors detected"), std::string::npos) << tested.out;
  EXPECT_NE(test::runCommand("zipinfo '" + path + "'").out.find("defN"), std::string::npos);

  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(path), 1);
  EXPECT_EQ(all(reader.ExtractFile(dir / "trans/a.trz", 1, "")), "id=A990001\n>>\n");
  EXPECT_EQ(all(reader.ExtractFile("patchscene.lst", 1, "")), big);
  const auto empty = reader.ExtractFile("empty.lst", 0, "");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->size(), 0);
  EXPECT_TRUE(empty->atEnd());
  EXPECT_THROW(empty->writeU8(1), StreamError);  // read-only
  // The directory lists members by name.
  ASSERT_EQ(reader.getFileCount(), 3);
  EXPECT_EQ(reader.getFileInfo(0)->zipFileName, dir / "trans/a.trz");
  EXPECT_EQ(reader.getFileInfo(1)->zipFileName, "empty.lst");
  EXPECT_THROW(reader.getFileInfo(3), std::runtime_error);
  reader.CloseZip();
  EXPECT_EQ(reader.ExtractFile("empty.lst", 0, ""), nullptr);
  EXPECT_EQ(reader.getFileCount(), 0);
}

TEST_F(ZipTest, CaseFlagAndMissingMembers) {
  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(write({{"Trans/A.TRZ", "x"}})), 1);
  EXPECT_EQ(all(reader.ExtractFile("trans/a.trz", 0, "")), "x");
  EXPECT_EQ(reader.ExtractFile("trans/a.trz", 1, ""), nullptr);
  EXPECT_EQ(reader.ExtractFile("nothing", 0, ""), nullptr);
  EXPECT_EQ(reader.ExtractFile("Trans/A.TRZ", 1, "secret"), nullptr);  // no password was set
}

TEST_F(ZipTest, LookUpsFollowTheCaseRulesAndTheFirstOfANameWins) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "row " + std::to_string(i) + "\n";
  const std::string path = write({{"Extra/Read.me", "upper"}, {"extra/read.me", "lower"}, {"trans/x.trz", text}});
  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(path), 1);
  EXPECT_EQ(all(reader.ExtractFile("EXTRA/READ.ME", 0, "")), "upper");  // the first in the directory
  EXPECT_EQ(all(reader.ExtractFile("extra/read.me", 1, "")), "lower");
  EXPECT_EQ(reader.ExtractFile("extra/Read.me", 1, ""), nullptr);
  EXPECT_EQ(reader.ExtractFile("extra\\read.me", 0, ""), nullptr);  // separators are not folded
  EXPECT_EQ(reader.CheckFile("Trans/X.TRZ", 0, ""), ZipReader::Member::Sound);
  EXPECT_EQ(reader.CheckFile("trans/x.trz", 1, ""), ZipReader::Member::Sound);
  EXPECT_EQ(reader.CheckFile("Trans/X.TRZ", 1, ""), ZipReader::Member::Missing);
  EXPECT_EQ(reader.CheckFile("none", 0, ""), ZipReader::Member::Missing);
  reader.CloseZip();
  test::damageMember(path, "trans/x.trz");
  ASSERT_EQ(reader.OpenZip(path), 1);
  EXPECT_EQ(reader.CheckFile("trans/x.trz", 0, ""), ZipReader::Member::Damaged);
  EXPECT_EQ(all(reader.ExtractFile("extra/read.me", 0, "")), "upper");  // its neighbours still read
}

TEST_F(ZipTest, APackageCutShortDoesNotOpen) {
  const std::string whole = test::readFile(write({{"patchscene.lst", "scene=A\r\n"}, {"extra.lst", "a.txt\r\n"}}));
  // Inside the first member, inside the central directory, without the end
  // record that says where the directory is.
  for (size_t length : {whole.size() / 4, whole.size() - 40, whole.size() - 22}) {
    test::writeFile(dir / "cut.zip", whole.substr(0, length));
    ZipReader reader;
    EXPECT_EQ(reader.OpenZip(dir / "cut.zip"), 0) << length;
    EXPECT_EQ(reader.ExtractFile("extra.lst", 0, ""), nullptr);
  }
}

TEST_F(ZipTest, APackageMadeByInfoZipReadsBack) {
  test::makeFolders(dir / "src/sub");
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes += "line " + std::to_string(i) + "\n";
  test::writeFile(dir / "src/sub/b.txt", bytes);
  test::writeFile(dir / "src/a.bin", std::string("\0\1\2\3", 4));
  ASSERT_EQ(test::runCommand("cd '" + (dir / "src") + "' && zip -q -r ../peer.zip a.bin sub").status, 0);
  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(dir / "peer.zip"), 1);
  EXPECT_EQ(all(reader.ExtractFile("sub/b.txt", 1, "")), bytes);
  EXPECT_EQ(all(reader.ExtractFile("a.bin", 1, "")), std::string("\0\1\2\3", 4));
  EXPECT_NE(reader.getFileInfoByName("sub/b.txt"), nullptr);
}

TEST_F(ZipTest, ADamagedMemberIsRefused) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "entry " + std::to_string(i) + "\n";
  const std::string path = write({{"trans/x.trz", text}});
  std::string bytes = test::readFile(path);
  // Flip a byte in the middle of the compressed data.
  const size_t data = 30 + std::string("trans/x.trz").size();
  bytes[data + 40] = static_cast<char>(bytes[data + 40] ^ 0x55);
  test::writeFile(path, bytes);
  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(path), 1);
  EXPECT_EQ(reader.ExtractFile("trans/x.trz", 1, ""), nullptr);
}

// A stream the writer that has just written the package knows is taken by
// the CRC-32 of its stored bytes: spoilt since, it is refused all the same;
// a stream that is not where the writer put it is inflated.
TEST_F(ZipTest, AKnownStreamIsCheckedByItsStoredBytesAndAnyOtherIsInflated) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "entry " + std::to_string(i) + "\n";
  // Deflated, as a build writes it.
  const std::string path = dir / "k.zip";
  {
    ZipWriter writer;
    ASSERT_EQ(writer.OpenZip(path, 0), 1);
    BufferStream bytes(ByteBuffer::fromString(text));
    writer.AddStream(&bytes, "extra/x.txt", "");
    writer.CloseZip("");
  }
  const std::string whole = test::readFile(path);
  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(path), 1);
  const auto record = reader.memberRecord("extra/x.txt", 0);
  ASSERT_TRUE(record);
  reader.CloseZip();
  const std::string stream = whole.substr(record->dataAt, record->packed);
  const auto streamCrc = static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(stream.data()), static_cast<uInt>(stream.size())));
  const KnownStream written{record->dataAt, record->packed, streamCrc, record->size, record->crc};
  struct Case {
    const char* what;
    KnownStream known;
    bool spoilt;
    ZipReader::Member expected;
  };
  KnownStream later = written;
  ++later.storedAt;
  KnownStream otherCrc = written;
  ++otherCrc.crc;
  const Case cases[] = {
      {"as written", written, false, ZipReader::Member::Sound},
      {"as written, its stream spoilt since", written, true, ZipReader::Member::Damaged},
      {"placed a byte later", later, false, ZipReader::Member::Sound},
      {"placed a byte later, the stream spoilt", later, true, ZipReader::Member::Damaged},
      {"inflating to another CRC-32", otherCrc, false, ZipReader::Member::Sound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::writeFile(path, whole);
    if (c.spoilt) test::damageMember(path, "extra/x.txt");
    ASSERT_EQ(reader.OpenZip(path), 1);
    EXPECT_EQ(reader.CheckFile("extra/x.txt", 0, "", c.known), c.expected);
    EXPECT_EQ(reader.CheckFile("extra/none", 0, "", c.known), ZipReader::Member::Missing);
    reader.CloseZip();
  }
}

TEST_F(ZipTest, ALyingSizeIsRefusedWithoutAllocating) {
  const std::string path = write({{"bomb", "tiny"}});
  std::string bytes = test::readFile(path);
  // Claim four gigabytes less one in the local and the central header.
  for (size_t at = 0; (at = bytes.find("PK", at)) != std::string::npos; at += 2) {
    if (bytes.compare(at, 4, "PK\x03\x04") == 0) bytes.replace(at + 22, 4, "\xFF\xFF\xFF\xFF");
    if (bytes.compare(at, 4, "PK\x01\x02") == 0) bytes.replace(at + 24, 4, "\xFF\xFF\xFF\xFF");
  }
  test::writeFile(path, bytes);
  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(path), 1);
  EXPECT_EQ(reader.ExtractFile("bomb", 1, ""), nullptr);
}

TEST_F(ZipTest, ExtractToDiskReplacesWholeOrNotAtAll) {
  RecordingHost recording;
  const std::string path = write({{"extra/readme.txt", "new"}, {"extra/damaged.txt", std::string(4096, 'd')}});
  test::damageMember(path, "extra/damaged.txt");
  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(path), 1);
  test::writeFile(dir / "out.txt", "old");
  const std::string out = dir / "out.txt", never = dir / "never.txt", unreachable = dir / "no/such/folder/out.txt";
  reader.ExtractFileToDisk(test::localFiles(), recording, "missing", out, 0, "");
  EXPECT_EQ(test::readFile(out), "old");
  reader.ExtractFileToDisk(test::localFiles(), recording, "extra/damaged.txt", out, 0, "");
  EXPECT_EQ(test::readFile(out), "old");
  reader.ExtractFileToDisk(test::localFiles(), recording, "missing", never, 0, "");
  EXPECT_FALSE(fileExists(never));
  reader.ExtractFileToDisk(test::localFiles(), recording, "extra/readme.txt", unreachable, 0, "");
  EXPECT_FALSE(fileExists(unreachable));
  reader.ExtractFileToDisk(test::localFiles(), recording, "EXTRA/README.TXT", out, 0, "");
  EXPECT_EQ(test::readFile(out), "new");
  EXPECT_EQ(listFolder(dir.path(), true).size(), 2u);  // p.zip and out.txt: no leftovers
  // Each failure leaves a debug line, and the extraction that worked none.
  EXPECT_EQ(recording.texts(RecordingHost::Kind::Debug),
            (std::vector<std::string>{"cannot extract member missing to " + out,
                                      "cannot extract member extra/damaged.txt to " + out,
                                      "cannot extract member missing to " + never,
                                      "cannot write member extra/readme.txt to " + unreachable}));
  EXPECT_TRUE(recording.messages().empty());
}

TEST_F(ZipTest, AReaderAndWriterWithoutAPackageDoNothing) {
  ZipWriter writer;
  writer.SetCompressionLevel(9);  // ignored while closed
  EXPECT_EQ(writer.m_compressionLevel, -1);
  BufferStream s(ByteBuffer::fromString("x"));
  EXPECT_EQ(writer.AddStream(&s, "x", ""), 0);
  EXPECT_EQ(writer.AddStream(nullptr, "x", ""), 0);
  ZipReader reader;
  EXPECT_EQ(reader.OpenZip(dir / "none.zip"), 0);
  test::writeFile(dir / "junk.zip", "not a zip");
  EXPECT_EQ(reader.OpenZip(dir / "junk.zip"), 0);
  EXPECT_EQ(reader.ExtractFile("x", 0, ""), nullptr);
}

TEST(ZipDirectory, SortsStablyAndFindsByTheFlags) {
  TempDir dir;
  const std::string path = dir / "d.zip";
  {
    ZipWriter writer;
    ASSERT_EQ(writer.OpenZip(path, 0), 1);
    for (const char* name : {"b.txt", "A/a.txt", "a.txt", "data\\file.dat"}) {
      BufferStream s(ByteBuffer::fromString(name));
      writer.AddStream(&s, name, "");
    }
    writer.CloseZip("");
  }
  auto stream = FileStream::open(path, FileMode::Read);
  auto plain = TZipFileList::create(stream.get(), 0, 0);
  ASSERT_EQ(plain->getFileCount(), 4);
  EXPECT_EQ(plain->getFileInfo(0)->zipFileName, "A/a.txt");
  EXPECT_EQ(plain->getFileInfo(0)->path, "A");
  EXPECT_EQ(plain->getFileInfo(1)->zipFileName, "a.txt");
  EXPECT_EQ(plain->getFileInfo(2)->zipFileName, "b.txt");
  EXPECT_EQ(plain->findFile("data/file.dat"), nullptr);
  EXPECT_EQ(plain->getFileInfo(2)->fileDataPosition, 30 + 5);  // b.txt, the first member
  EXPECT_THROW(plain->getFileInfo(-1), std::runtime_error);

  stream->seek(0);
  auto paths = TZipFileList::create(stream.get(), 1, 1);
  EXPECT_EQ(paths->getFileInfo(0)->zipFileName, "a/a.txt");  // scanned first among the equal names
  EXPECT_EQ(paths->findFile("X/A.TXT"), paths->getFileInfo(0));
  EXPECT_EQ(paths->findFile("file.dat")->path, "data");
  EXPECT_EQ(TZipFileList::create(nullptr, 0, 0), nullptr);

  MemoryStream nothing(static_cast<const void*>(""), 0);
  EXPECT_EQ(TZipFileList::create(&nothing, 0, 0)->getFileCount(), 0);
}

}  // namespace
}  // namespace vh

namespace vh {
namespace {

// A zip stamp is a DOS date, 1980 to 2107: moments outside take the nearest
// day it holds, whatever the time zone; those inside are the local date.
TEST(ZipStamp, MomentsOutsideTheDosYearsTakeTheNearestDay) {
  const struct {
    std::time_t moment;
    int year, month, day, hour, minute, second;
    const char* why;
  } kClamped[] = {
      {0, 1980, 1, 1, 0, 0, 0, "a file dated 0"},
      {-86400, 1980, 1, 1, 0, 0, 0, "before 1970, which has no date"},
      {200000000, 1980, 1, 1, 0, 0, 0, "1976"},
      {7258118400, 2107, 12, 31, 23, 59, 58, "2200"},
  };
  for (const auto& c : kClamped) {
    const std::tm stamp = ZipWriter::stampOf(c.moment);
    EXPECT_EQ(stamp.tm_year + 1900, c.year) << c.why;
    EXPECT_EQ(stamp.tm_mon + 1, c.month) << c.why;
    EXPECT_EQ(stamp.tm_mday, c.day) << c.why;
    EXPECT_EQ(stamp.tm_hour, c.hour) << c.why;
    EXPECT_EQ(stamp.tm_min, c.minute) << c.why;
    EXPECT_EQ(stamp.tm_sec, c.second) << c.why;
  }
  // 9 September 2001 in every time zone: the local date, unchanged.
  std::tm inside = ZipWriter::stampOf(1000000000);
  EXPECT_EQ(inside.tm_year, 101);
  EXPECT_EQ(std::mktime(&inside), 1000000000);
}

// Member buffers change hands between the ordinary allocation and the
// large-page one as they grow past kLargeBlock and shrink back: each block
// must go back the way it came (the sanitizer build checks the pairing),
// and the bytes must survive every move.
TEST(MemberBytes, BytesSurviveGrowingAndShrinkingAcrossTheLargeBlockSize) {
  std::vector<uint8_t> pattern(kLargeBlock + 1);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>((i * 131) ^ (i >> 13));
  const auto holds = [&](const MemberBytes& bytes, size_t count) {
    return bytes.size() == count && std::memcmp(bytes.data(), pattern.data(), count) == 0;
  };
  for (const size_t count : {size_t{100}, kLargeBlock, kLargeBlock + 1}) {
    // Grown in blocks, so that it moves from block to block as it passes
    // the threshold.
    MemberBytes bytes;
    constexpr size_t kStep = 64 << 10;
    for (size_t at = 0; at < count; at += kStep) {
      bytes.insert(bytes.end(), pattern.begin() + static_cast<ptrdiff_t>(at),
                   pattern.begin() + static_cast<ptrdiff_t>(std::min(count, at + kStep)));
    }
    EXPECT_TRUE(holds(bytes, count)) << count;
    MemberBytes copy = bytes;
    bytes.resize(count / 2);
    bytes.shrink_to_fit();
    EXPECT_TRUE(holds(bytes, count / 2)) << count;
    EXPECT_TRUE(holds(copy, count)) << count;
  }
}

}  // namespace
}  // namespace vh
