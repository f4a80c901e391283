#include "translation/trz.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

std::vector<tTransRecord> parse(const std::string& text) {
  MemoryStream in(static_cast<const void*>(text.data()), text.size());
  tTrzPtr trz = tTrz::Load(in);
  return std::vector<tTransRecord>(trz->records.begin(), trz->records.end());
}

void expectSame(const tTransRecord& a, const tTransRecord& b) {
  EXPECT_EQ(a.scnId, b.scnId);
  EXPECT_EQ(a.subId, b.subId);
  EXPECT_EQ(a.recId, b.recId);
  EXPECT_EQ(a.value, b.value);
  EXPECT_EQ(a.length, b.length);
  EXPECT_EQ(a.typeId, b.typeId);
}

TEST(TrzRead, EntriesInFileOrderWithEveryKey) {
  const auto entries = parse(
      "id=Forest010012\ntype=speech\nlength=$1F\nvalue=\xC4\xE3\xBA\xC3<CR>x\n>>\n"
      "; a comment line\n\nid=Castle990003\ntype=object\nvalue=door\n>>\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].scnId, "Forest");
  EXPECT_EQ(entries[0].subId, 1);
  EXPECT_EQ(entries[0].recId, 12);
  EXPECT_EQ(entries[0].typeId, kKindSpeech);
  EXPECT_EQ(entries[0].length, 31);
  EXPECT_EQ(entries[0].value, "\xC4\xE3\xBA\xC3\nx");  // GBK bytes untouched
  EXPECT_EQ(entries[1].scnId, "Castle");
  EXPECT_EQ(entries[1].subId, 99);
  EXPECT_EQ(entries[1].recId, 3);
  EXPECT_EQ(entries[1].typeId, kKindObject);
  EXPECT_EQ(entries[1].value, "door");
}

TEST(TrzRead, LineEndsAndCarriageReturnsDoNotMatter) {
  const auto lf = parse("id=Abc020005\ntype=text\nvalue=one two\n>>\n");
  const auto crlf = parse("id=Abc020005\r\ntype=text\r\nvalue=one two\r\n>>\r\n");
  const auto midCr = parse("id=Abc02\r0005\ntype=te\rxt\nvalue=one\r two\n>\r>\n");
  ASSERT_EQ(lf.size(), 1u);
  ASSERT_EQ(crlf.size(), 1u);
  ASSERT_EQ(midCr.size(), 1u);
  expectSame(lf[0], crlf[0]);
  expectSame(lf[0], midCr[0]);
  EXPECT_EQ(lf[0].typeId, kKindText);
}

TEST(TrzRead, KeysAreExactAndValuesKeepTheirEquals) {
  const auto entries = parse(
      "id=Abc010001\n"
      " id=Xyz020002\n"  // leading space: another key
      "ID=Xyz030003\n"   // capitals: another key
      "type=Text\n"      // an unknown word gives 7
      "value=a=b==c\n"
      ">>\n");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].scnId, "Abc");
  EXPECT_EQ(entries[0].recId, 1);
  EXPECT_EQ(entries[0].typeId, kKindOther);
  EXPECT_EQ(entries[0].value, "a=b==c");
}

TEST(TrzRead, RepeatedKeysOverwriteAndEmptyEntriesKeepDefaults) {
  const auto entries = parse("value=first\nvalue=second\n>>\n>>\n>>");
  ASSERT_EQ(entries.size(), 3u);  // the last ">>" ends the file without a line feed
  EXPECT_EQ(entries[0].value, "second");
  expectSame(entries[1], tTransRecord());
  EXPECT_EQ(entries[1].typeId, kKindNone);
}

TEST(TrzRead, AnUnclosedLastEntryIsDropped) {
  EXPECT_TRUE(parse("").empty());
  const auto entries = parse("id=A010001\nvalue=kept\n>>\nid=A010002\nvalue=lost\n");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].value, "kept");
  EXPECT_TRUE(parse("id=A010002\ntype=text\nvalue=lost").empty());
}

TEST(TrzRead, LineBreakMarkers) {
  EXPECT_EQ(parse("value=<CR>\n>>\n")[0].value, "\n");
  EXPECT_EQ(parse("value=a<CR>b<CR>\n>>\n")[0].value, "a\nb\n");
  EXPECT_EQ(parse("value=<CR<CR>>\n>>\n")[0].value, "<CR\n>");
  EXPECT_EQ(parse("value=<cr>\n>>\n")[0].value, "<cr>");
}

TEST(TransRecordSetId, SlicesTheAddressFromItsEnd) {
  struct Case {
    std::string text;
    std::string scnId;
    int32_t subId, recId;
  };
  const Case cases[] = {
      {"Forest010012", "Forest", 1, 12},
      {"Global990123", "Global", 99, 123},
      {"Abcdefgh021234", "Abcdefgh", 2, 1234},
      {"010012", "", 1, 12},  // exactly six: no scene part
      {"70012", "", 70, 12},  // five: sub-scene from the first two
      {"0012", "", 0, 12},    // four
      {"123", "", 12, 123},   // under four: the record from all of it
      {"", "", 0, 0},
      {"Abc01-001", "Abc", 1, -1},  // a sign among the record digits
      {"Abc01$00A", "Abc", 1, 10},  // "$" reads hexadecimal digits
  };
  for (const Case& c : cases) {
    tTransRecord r;
    EXPECT_EQ(r.setId(c.text), 0);
    EXPECT_EQ(r.scnId, c.scnId) << c.text;
    EXPECT_EQ(r.subId, c.subId) << c.text;
    EXPECT_EQ(r.recId, c.recId) << c.text;
  }
}

TEST(TransRecordSetType, KindWords) {
  const std::pair<const char*, int32_t> words[] = {{"text", 4},  {"text2", 100},     {"object", 3}, {"speech", 2},
                                                   {"group", 1}, {"speechgroup", 1}, {"person", 5}, {"Text", 7},
                                                   {"", 7},      {"text ", 7},       {"TEXT2", 7}};
  for (const auto& [word, code] : words) {
    tTransRecord r;
    r.setType(word);
    EXPECT_EQ(r.typeId, code) << '"' << word << '"';
  }
}

TEST(TrzOpen, ReadsAFileByPath) {
  test::TempDir dir;
  test::writeFile(dir / "s.trz", "id=S010001\r\ntype=person\r\nvalue=\xC4\xE3\r\n>>\r\n");
  tTrzPtr trz = tTrz::Load(dir / "s.trz", test::standardError());
  ASSERT_EQ(trz->records.size(), 1u);
  EXPECT_EQ(trz->records.front().value, "\xC4\xE3");
}

TEST(TrzOpen, AnUnopenableSourceEndsTheProcessWithStatusZero) {
  RecordingHost recording;
  test::TempDir dir;
  try {
    tTrz::Load(dir / "missing.trz", recording);
    FAIL() << "returned a table for a missing file";
  } catch (const ProcessExit& e) {
    EXPECT_EQ(e.status, 0);
  }
  EXPECT_EQ(recording.messages(), std::vector<std::string>{"failed to read translation data"});
}

// The reader's own faults reach no one: only open(path) turns them into the
// installer's message and end.
TEST(TrzRead, FaultsAreReturnedAndNothingIsShown) {
  RecordingHost recording;
  test::TempDir dir;
  tTrz missing;
  const std::optional<Fault> cannotOpen = missing.read(dir / "missing.trz");
  ASSERT_TRUE(cannotOpen);
  EXPECT_EQ(cannotOpen->kind, FaultKind::CannotOpen);
  EXPECT_NE(cannotOpen->detail.find("missing.trz"), std::string::npos);

  const std::string three = "id=S010001\n>>\nid=S010002\n>>\nid=S010003\n>>\n";
  for (const size_t bound : {size_t{2}, size_t{3}}) {
    MemoryStream in(static_cast<const void*>(three.data()), three.size());
    tTrz table;
    table.maxEntries = bound;
    const std::optional<Fault> fault = table.read(in);
    EXPECT_EQ(fault.has_value(), bound < 3) << bound;
    if (fault) {
      EXPECT_EQ(fault->kind, FaultKind::BadSize);
    }
    EXPECT_EQ(table.records.size(), bound);
  }
  // Two texts (a title and an embedded text) of each of 10,000 records in
  // each of 100 sub-scenes.
  EXPECT_EQ(tTrz().maxEntries, 2'000'000u);
  EXPECT_TRUE(recording.events.empty());
}

// A value is held while the installer could write it, 65,535 bytes once its
// line breaks are restored; a longer one is counted and not held, and the
// entry then changes nothing. Markers count as the line feed they become.
TEST(TrzRead, ValuesTooLongToWriteAreCountedNotHeld) {
  struct Case {
    const char* name;
    std::string value;  // as the file stores it
    std::string held;   // what the entry holds
    uint64_t overlong;  // the length counted instead
  };
  const std::string atLimit(65'535, 'x');
  const std::string withMarkers = std::string(65'530, 'x') + "<CR><CR><CR><CR><CR>";  // 65,550 stored, 65,535 restored
  const std::vector<Case> cases = {
      {"at the limit", atLimit, atLimit, 0},
      {"one past it", atLimit + "x", "", 65'536},
      {"markers that bring it within", withMarkers, std::string(65'530, 'x') + "\n\n\n\n\n", 0},
      {"a marker that takes it past", withMarkers + "<CR>", "", 65'536},
      {"a line far longer than any held", std::string(1 << 20, '<') + "<CR>", "", (1 << 20) + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = "id=Docks010001\ntype=speech\nvalue=" + c.value + "\n>>\nid=Docks010002\n>>\n";
    MemoryStream in(static_cast<const void*>(text.data()), text.size());
    tTrz table;
    EXPECT_FALSE(table.read(in));
    ASSERT_EQ(table.records.size(), 2u);
    EXPECT_TRUE(table.records[0].value == c.held);
    EXPECT_EQ(table.records[0].overlongValue, c.overlong);
    EXPECT_EQ(table.overlongValues, c.overlong ? 1u : 0u);
    // What is not held costs nothing.
    EXPECT_LT(table.records[0].footprint(), c.held.size() + 256);
    EXPECT_EQ(table.records[1].recId, 2);
  }
}

// Line breaks are restored however the value's pieces arrive: a marker may
// be cut between any two of them.
TEST(TrzRead, LineBreaksAreRestoredAcrossEveryCut) {
  const std::string stored = "a<CR><<CR>b<C<CR><CR<CR>>";
  const std::string restored = "a\n<\nb<C\n<CR\n>";
  for (size_t first = 0; first <= stored.size(); ++first) {
    for (size_t second = first; second <= stored.size(); ++second) {
      StreamedValue value(100, true);
      value.add(std::string_view(stored).substr(0, first));
      value.add(std::string_view(stored).substr(first, second - first));
      value.add(std::string_view(stored).substr(second));
      tTransRecord entry;
      value.finishInto(entry);
      ASSERT_EQ(entry.value, restored) << "cut at " << first << " and " << second;
    }
  }
  // A marker cut short by the end of the value is text.
  StreamedValue cut(100, true);
  cut.add("x<C");
  tTransRecord entry;
  cut.finishInto(entry);
  EXPECT_EQ(entry.value, "x<C");
}

}  // namespace
}  // namespace vh
