#include "translation/kind_words.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "formats/xrc.h"
#include "translation/trz.h"

namespace vh {
namespace {

// prefix bytes, the text's 16-bit length, the text and a tail.
std::string embedded(const std::string& prefix, const std::string& text) {
  return prefix + static_cast<char>(text.size()) + '\0' + text + "\x01\x02";
}

// 102 bytes that read as no text at 0 or 66 (their length would be 0xFFFF).
const std::string kNoText(102, '\xFF');

TEST(KindWords, WhatEachRecordHoldsAndWhichWordsFit) {
  struct Case {
    const char* what;
    uint8_t type1, type2;
    std::string title, subString;
    std::vector<std::string> words;                  // what export writes, in order
    std::vector<std::pair<int32_t, KindFit>> fits;  // what check says of words
  };
  const Case cases[] = {
      {"group", 9, 6, "Crowd", "", {"group"}, {{kKindGroup, KindFit::Fits}, {kKindObject, KindFit::Harmful}}},
      {"speech", 29, 1, "", embedded("", "Hello"), {"speech"},
       {{kKindSpeech, KindFit::Fits}, {kKindText, KindFit::Harmful}, {kKindObject, KindFit::Harmful}}},
      {"speech whose length runs past the end", 29, 0, "", std::string("\x40\x00" "ab", 4), {},
       {{kKindSpeech, KindFit::Harmful}}},
      {"object 23", 23, 4, "Key", "xx", {"object"}, {{kKindObject, KindFit::Fits}, {kKindPerson, KindFit::Harmful}}},
      {"object 37", 37, 0, "Door", "", {"object"}, {{kKindObject, KindFit::Fits}, {kKindGroup, KindFit::Harmful}}},
      {"text at 66", 13, 2, "", embedded(std::string(66, '\xFF'), "Panel"), {"text"},
       {{kKindText, KindFit::Fits}, {kKindText2, KindFit::Harmful}}},
      {"person", 21, 5, "Captain", "", {"person"}, {{kKindPerson, KindFit::Fits}, {kKindObject, KindFit::Harmful}}},
      {"text2", 50, 2, "", embedded(kNoText, "Note"), {"text2"},
       {{kKindText2, KindFit::Fits}, {kKindSpeech, KindFit::Harmful}, {kKindObject, KindFit::Harmful}}},
      {"text2 that also reads at 0", 50, 2, "", embedded(std::string(102, '\0'), "Note"), {},
       {{kKindText2, KindFit::Harmful}}},
      {"kind 0 with a title", 21, 4, "Marker", "", {"object"},
       {{kKindObject, KindFit::Fits}, {kKindPerson, KindFit::Note}, {kKindSpeech, KindFit::Harmful}}},
      {"kind 6 without a title", 3, 0, "", "abc", {}, {{kKindObject, KindFit::Harmful}}},
      {"kind 7 with a title and a text2", 8, 1, "Mirel", embedded(kNoText, "Hi"), {"object", "text2"},
       {{kKindObject, KindFit::Fits}, {kKindGroup, KindFit::Note}, {kKindText2, KindFit::Fits},
        {kKindOther, KindFit::DoesNothing}, {kKindNone, KindFit::DoesNothing}}},
  };
  for (const Case& c : cases) {
    tRecordData data;
    data.type1 = c.type1, data.type2 = c.type2;
    data.title = c.title, data.subString = c.subString;
    data.titleLength = static_cast<uint16_t>(c.title.size());
    data.subStringLength = static_cast<int32_t>(c.subString.size());
    std::vector<std::string> words;
    for (const RecordText& t : recordTexts(data)) {
      words.push_back(t.word);
      tTransRecord entry;
      entry.setType(t.word);
      EXPECT_EQ(entry.typeId, t.typeId) << c.what;
      EXPECT_EQ(kindFit(data, t.typeId), KindFit::Fits) << c.what << " " << t.word;
    }
    EXPECT_EQ(words, c.words) << c.what;
    for (const auto& [typeId, fit] : c.fits) EXPECT_EQ(kindFit(data, typeId), fit) << c.what << " kind " << typeId;
  }
}

TEST(KindWords, TheExportedTextsAreTheBytesTheRecordHolds) {
  tRecordData data;
  data.type1 = 8, data.type2 = 1;
  data.title = "Mirel";
  data.subString = embedded(kNoText, "A\nB");
  const auto texts = recordTexts(data);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, "Mirel");
  EXPECT_EQ(texts[1].text, "A\nB");
}

TEST(KindWords, AddressesCarryTwoDigitsOfSubSceneAndFourOfRecord) {
  EXPECT_EQ(recordAddress("Inn", 1, 12), "Inn010012");
  EXPECT_EQ(recordAddress("Lighthouse", 99, 4243), "Lighthouse994243");
  tTransRecord entry;
  entry.setId(recordAddress("Docks", 7, 305));
  EXPECT_EQ(entry.scnId, "Docks");
  EXPECT_EQ(entry.subId, 7);
  EXPECT_EQ(entry.recId, 305);
}

}  // namespace
}  // namespace vh
