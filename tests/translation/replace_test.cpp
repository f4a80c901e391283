#include "translation/replace.h"

#include <gtest/gtest.h>

#include "formats/xrc.h"
#include "tests/formats/archive_fixture.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"
#include "translation/trz.h"

namespace vh {
namespace {

using test::Bytes;
using test::embedded;
using test::makeArchive;
using test::Rec;
using test::recordFile;

tTransRecord entry(int32_t typeId, const std::string& value, int32_t subId = 0, int32_t recId = 0) {
  tTransRecord e;
  e.typeId = typeId;
  e.value = value;
  e.subId = subId;
  e.recId = recId;
  return e;
}

tRecordData withSubString(const std::string& subString) {
  tRecordData d;
  d.subString = subString;
  d.subStringLength = static_cast<int32_t>(subString.size());
  return d;
}

tRecordData withTitle(const std::string& title) {
  tRecordData d;
  d.title = title;
  d.titleLength = static_cast<uint16_t>(title.size());
  return d;
}

void expectSameData(const tRecordData& a, const tRecordData& b) {
  EXPECT_EQ(a.title, b.title);
  EXPECT_EQ(a.titleLength, b.titleLength);
  EXPECT_EQ(a.subString, b.subString);
  EXPECT_EQ(a.subStringLength, b.subStringLength);
}

class ReplaceTest : public ::testing::Test {
 protected:
  std::vector<std::string> debug() const { return recording.texts(RecordingHost::Kind::Debug); }
  RecordingHost recording;
};

TEST_F(ReplaceTest, SpeechWorkedExample) {
  // 5, 0, five text bytes, three tail bytes; a four-byte value.
  tRecordData d = withSubString(Bytes().u8(5).u8(0).str("hello").str("\x01\x02\x03"));
  ASSERT_EQ(d.subString.size(), 10u);
  entry(kKindSpeech, "abcd").doReplace(d, recording);
  EXPECT_EQ(d.subString, Bytes().u8(4).u8(0).str("abcd").str("\x01\x02\x03").bytes());
  EXPECT_EQ(d.subStringLength, 9);
  EXPECT_EQ(d.title, "");
}

TEST_F(ReplaceTest, TitleKindsRewriteTheTitleOnly) {
  for (const int32_t kind : {kKindGroup, kKindObject, kKindPerson}) {
    tRecordData d = withTitle("old title");
    d.subString = embedded("", "keep", "");
    d.subStringLength = 6;
    entry(kind, "\xC4\xE3\xBA\xC3").doReplace(d, recording);
    EXPECT_EQ(d.title, "\xC4\xE3\xBA\xC3");
    EXPECT_EQ(d.titleLength, 4);
    EXPECT_EQ(d.subString, embedded("", "keep", ""));
    EXPECT_EQ(d.subStringLength, 6);
    entry(kind, "").doReplace(d, recording);
    EXPECT_EQ(d.title, "");
    EXPECT_EQ(d.titleLength, 0);
  }
}

TEST_F(ReplaceTest, TextKindsKeepPrefixAndTail) {
  const std::pair<int32_t, size_t> kinds[] = {{kKindSpeech, 0}, {kKindText, 66}, {kKindText2, 102}};
  for (const auto& [kind, p] : kinds) {
    SCOPED_TRACE(kind);
    std::string prefix;
    for (size_t i = 0; i < p; ++i) prefix.push_back(static_cast<char>(i * 7));
    const std::string tail("\0tail\xFF", 6);
    tRecordData d = withSubString(embedded(prefix, "short", tail));
    const std::string longer(300, 'L');  // needs the length's high byte
    entry(kind, longer).doReplace(d, recording);
    EXPECT_EQ(d.subString, embedded(prefix, longer, tail));
    EXPECT_EQ(d.subStringLength, static_cast<int32_t>(p + 2 + 300 + 6));
    EXPECT_EQ(static_cast<uint8_t>(d.subString[p + 1]), 1);  // 300 = 1 * 256 + 44
    entry(kind, "").doReplace(d, recording);
    EXPECT_EQ(d.subString, embedded(prefix, "", tail));
    EXPECT_EQ(d.subStringLength, static_cast<int32_t>(p + 2 + 6));
  }
  EXPECT_TRUE(debug().empty());
}

TEST_F(ReplaceTest, OtherKindsChangeNothing) {
  for (const int32_t kind : {kKindNone, 6, kKindOther, 42, -1}) {
    tRecordData d = withTitle("title");
    d.subString = embedded("", "text", "");
    d.subStringLength = 6;
    const tRecordData before = d;
    entry(kind, "new").doReplace(d, recording);
    expectSameData(d, before);
  }
  EXPECT_TRUE(debug().empty());  // an entry that changes nothing is no fault
}

TEST_F(ReplaceTest, ValuesTheLengthsCannotHoldAreSkipped) {
  const std::string tooLong(65536, 'x');
  const std::string longest(65535, 'y');
  for (const int32_t kind : {kKindGroup, kKindSpeech, kKindText}) {
    SCOPED_TRACE(kind);
    tRecordData d = withTitle("title");
    d.subString = embedded(std::string(kind == kKindText ? 66 : 0, 'p'), "text", "tail");
    d.subStringLength = static_cast<int32_t>(d.subString.size());
    const tRecordData before = d;
    entry(kind, tooLong).doReplace(d, recording);
    expectSameData(d, before);
    // Such a value read from a file was never held, only counted: the
    // entry's empty value must not go in either.
    tTransRecord counted = entry(kind, "");
    counted.overlongValue = tooLong.size();
    counted.doReplace(d, recording);
    expectSameData(d, before);
    // The longest text that fits goes in whole.
    entry(kind, longest).doReplace(d, recording);
    if (kind == kKindGroup) {
      EXPECT_EQ(d.titleLength, 65535);
      EXPECT_EQ(d.title, longest);
    } else {
      EXPECT_EQ(d.subStringLength, static_cast<int32_t>(before.subString.size()) - 4 + 65535);
      EXPECT_EQ(d.subString.size(), static_cast<size_t>(d.subStringLength));
    }
  }
  ASSERT_EQ(debug().size(), 6u);
  EXPECT_NE(debug()[0].find("16-bit"), std::string::npos);
  EXPECT_NE(debug()[1].find("16-bit"), std::string::npos);
}

TEST_F(ReplaceTest, EmbeddedTextOutsideTheSubStringIsSkipped) {
  const std::string cases[] = {
      "",                                                         // no room for the length
      std::string(67, 'p'),                                       // text: 66 + 2 needed, 67 there
      std::string(66, 'p') + Bytes().u16(5).str("abcd").bytes(),  // L = 5, four bytes left
      std::string(66, 'p') + Bytes().u16(0xFFFF).bytes(),         // L far past the end
  };
  for (const std::string& s : cases) {
    tRecordData d = withSubString(s);
    const tRecordData before = d;
    entry(kKindText, "new").doReplace(d, recording);
    expectSameData(d, before);
  }
  EXPECT_EQ(debug().size(), 4u);
  // A subString with exactly the prefix and an empty text is sound.
  tRecordData d = withSubString(std::string(66, 'p') + Bytes().u16(0).bytes());
  entry(kKindText, "ab").doReplace(d, recording);
  EXPECT_EQ(d.subString, embedded(std::string(66, 'p'), "ab", ""));
  EXPECT_EQ(debug().size(), 4u);
}

// ---- applyTrz

std::shared_ptr<tXRC> loadRecords(const std::string& bytes, int32_t subId) {
  auto xrc = tXRC::Create("s.xrc", 0, static_cast<int32_t>(bytes.size()), nullptr);
  xrc->subId = subId;
  MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
  xrc->Load(in);
  return xrc;
}

TEST_F(ReplaceTest, ApplyTakesThisSubScenesEntriesInOrder) {
  auto xrc = loadRecords(
      recordFile({{9, 6, 1, "zero", "", 2, 0}, {23, 0, 2, "one", "", 0, 0}, {23, 0, 3, "two", "", 0, 0}}), 3);
  tTrz trz;
  trz.records.push_back(entry(kKindObject, "other sub-scene", 2, 1));
  trz.records.push_back(entry(kKindObject, "first", 3, 1));
  trz.records.push_back(entry(kKindObject, "second", 3, 1));  // the last one wins
  trz.records.push_back(entry(kKindGroup, "root", 3, 0));
  trz.records.push_back(entry(kKindObject, "also other", 99, 2));
  EXPECT_EQ(applyTrz(*xrc, trz, recording), 0);
  const auto r = xrc->getRecordArray();
  EXPECT_EQ(r[0]->data.title, "root");
  EXPECT_EQ(r[1]->data.title, "second");
  EXPECT_EQ(r[1]->data.titleLength, 6);
  EXPECT_EQ(r[2]->data.title, "two");
  EXPECT_EQ(trz.records.size(), 5u);  // the table is not consumed
}

TEST_F(ReplaceTest, AddressesOutsideTheRecordFileAreSkipped) {
  auto xrc = loadRecords(recordFile({{9, 6, 1, "zero", "", 1, 0}, {23, 0, 2, "one", "", 0, 0}}), 0);
  tTrz trz;
  trz.records.push_back(entry(kKindObject, "negative", 0, -1));
  trz.records.push_back(entry(kKindObject, "count", 0, 2));
  trz.records.push_back(entry(kKindObject, "huge", 0, 0x7fffffff));
  trz.records.push_back(entry(kKindObject, "applied", 0, 1));
  applyTrz(*xrc, trz, recording);
  const auto r = xrc->getRecordArray();
  EXPECT_EQ(r[0]->data.title, "zero");
  EXPECT_EQ(r[1]->data.title, "applied");
  ASSERT_EQ(debug().size(), 3u);
  EXPECT_NE(debug()[0].find("record -1"), std::string::npos);
}

// ---- The whole road on one archive

TEST_F(ReplaceTest, OpenApplySaveOnARealShapedArchive) {
  const std::string textPrefix(66, '\x11'), text2Prefix(102, '\x22');
  const std::vector<Rec> before = {
      {9, 6, 100, "Group", "", 6, 0x1111},                               // 0 group
      {29, 0, 101, "", embedded("", "Hello there.", "\x05\x06"), 0, 2},  // 1 speech
      {23, 0, 102, "Door", "objdata", 0, 3},                             // 2 object
      {13, 0, 103, "", embedded(textPrefix, "A sign.", "TT"), 0, 4},     // 3 text
      {21, 5, 104, "Mirel", "\x01", 0, 5},                               // 4 person
      {13, 1, 105, "", embedded(text2Prefix, "Note", ""), 0, 6},         // 5 text2
      {3, 0, 106, "Kind six", "six", 0, 7},                              // 6 untouched (type word "other")
  };
  const std::string image(40, '\x5A'), sound = "RIFF....WAVE";
  const std::string original =
      makeArchive({{"bg.xmg", image, 1}, {"scene.xrc", recordFile(before), 2}, {"voice.wav", sound, 3}});
  const std::string trzText =
      "id=Abcdefg020000\r\ntype=group\r\nvalue=\xC4\xE3\xBA\xC3\r\n>>\r\n"
      "id=Abcdefg020001\r\ntype=speech\r\nvalue=\xC4\xE3<CR>\xBA\xC3\r\n>>\r\n"
      "id=Abcdefg020002\r\ntype=object\r\nvalue=Men\r\n>>\r\n"
      "id=Abcdefg020003\r\ntype=text\r\nvalue=A much longer sign text\r\n>>\r\n"
      "id=Abcdefg020004\r\ntype=person\r\nvalue=\xC3\xD7\xC8\xF0\r\n>>\r\n"
      "id=Abcdefg020005\r\ntype=text2\r\nvalue=\r\n>>\r\n"
      "id=Abcdefg020006\r\ntype=other\r\nvalue=never\r\n>>\r\n"
      "id=Abcdefg030001\r\ntype=speech\r\nvalue=wrong sub-scene\r\n>>\r\n";
  std::vector<Rec> after = before;
  after[0].title = "\xC4\xE3\xBA\xC3";
  after[1].subString = embedded("", "\xC4\xE3\n\xBA\xC3", "\x05\x06");
  after[2].title = "Men";
  after[3].subString = embedded(textPrefix, "A much longer sign text", "TT");
  after[4].title = "\xC3\xD7\xC8\xF0";
  after[5].subString = embedded(text2Prefix, "", "");
  const std::string expected =
      makeArchive({{"bg.xmg", image, 1}, {"scene.xrc", recordFile(after), 2}, {"voice.wav", sound, 3}});

  test::TempDir dir;
  const std::string archivePath = dir / "02.xarc";
  test::writeFile(archivePath, original);
  test::writeFile(dir / "Abcdefg.trz", trzText);

  tXARC archive;
  archive.subId = 2;
  ASSERT_EQ(archive.open(archivePath, recording), 1);
  applyTrz(*archive.getXRC(), *tTrz::Load(dir / "Abcdefg.trz", recording), recording);
  {
    auto out = FileStream::open(archivePath, FileMode::Write);
    archive.save(*out);
    out->close();
  }
  EXPECT_EQ(test::readFile(archivePath), expected);
  EXPECT_TRUE(debug().empty());

  // The saved archive reads back with the new text and consistent lengths.
  tXARC reopened;
  reopened.subId = 2;
  ASSERT_EQ(reopened.open(archivePath, recording), 1);
  EXPECT_EQ(reopened.findFile("voice.wav")->bank->toString(), sound);
  const auto r = reopened.getXRC()->getRecordArray();
  ASSERT_EQ(r.size(), before.size());
  EXPECT_EQ(r[4]->data.title, "\xC3\xD7\xC8\xF0");
  for (const tRecordPtr& record : r) {
    EXPECT_EQ(record->data.titleLength, record->data.title.size());
    EXPECT_EQ(static_cast<size_t>(record->data.subStringLength), record->data.subString.size());
  }
}

}  // namespace
}  // namespace vh
