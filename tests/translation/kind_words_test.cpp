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

// Texts at 0 and at 66 over overlapping bytes: the text at 0 (65 bytes)
// ends on the low byte of the length at 66, which is 65 too.
const std::string kOverlapping = std::string("\x41\x00", 2) + std::string(64, 'a') + "A" + std::string(1, '\0') +
                                 std::string(65, 'b');

TEST(KindWords, WhatEachRecordHoldsAndWhichWordsFit) {
  struct Case {
    const char* what;
    uint8_t type1, type2;
    std::string title, subString;
    std::vector<std::string> words;                  // what export writes, in order
    std::vector<std::pair<int32_t, KindFit>> fits;  // what check says of words
    bool leftOut = false;
  };
  const Case cases[] = {
      {"group", 9, 6, "Crowd", "", {"group"},
       {{kKindGroup, KindFit::Fits}, {kKindObject, KindFit::Note}, {kKindSpeech, KindFit::Skipped}}},
      {"speech", 29, 1, "", embedded("", "Hello"), {"speech"},
       {{kKindSpeech, KindFit::Fits}, {kKindText, KindFit::Skipped}, {kKindObject, KindFit::Harmful}}},
      {"speech whose length runs past the end", 29, 0, "", std::string("\x40\x00" "ab", 4), {},
       {{kKindSpeech, KindFit::Skipped}}},
      {"object 23", 23, 4, "Key", "xx", {"object"}, {{kKindObject, KindFit::Fits}, {kKindPerson, KindFit::Note}}},
      {"object 37", 37, 0, "Door", "", {"object"}, {{kKindObject, KindFit::Fits}, {kKindGroup, KindFit::Note}}},
      {"text at 66", 13, 2, "", embedded(std::string(66, '\xFF'), "Panel"), {"text"},
       {{kKindText, KindFit::Fits}, {kKindText2, KindFit::Skipped}}},
      {"person", 21, 5, "Captain", "", {"person"}, {{kKindPerson, KindFit::Fits}, {kKindObject, KindFit::Note}}},
      {"text2", 50, 2, "", embedded(kNoText, "Note"), {"text2"},
       {{kKindText2, KindFit::Fits}, {kKindSpeech, KindFit::Skipped}, {kKindObject, KindFit::Harmful}}},
      {"text2 behind zeros, which hold empty texts at 0 and 66", 50, 2, "", embedded(std::string(102, '\0'), "Note"),
       {"text2"}, {{kKindText2, KindFit::Fits}, {kKindSpeech, KindFit::Harmful}}},
      {"kind 0 with a title", 21, 4, "Marker", "", {"object"},
       {{kKindObject, KindFit::Fits}, {kKindPerson, KindFit::Note}, {kKindSpeech, KindFit::Skipped}}},
      {"kind 6 without a title", 3, 0, "", "abc", {}, {{kKindObject, KindFit::Harmful}}},
      {"kind 7 with a title and a text2", 8, 1, "Mirel", embedded(kNoText, "Hi"), {"object", "text2"},
       {{kKindObject, KindFit::Fits}, {kKindGroup, KindFit::Note}, {kKindText2, KindFit::Fits},
        {kKindOther, KindFit::DoesNothing}, {kKindNone, KindFit::DoesNothing}}},
      {"type 13 with its text at 102", 13, 0, "", embedded(kNoText, "Panel"), {"text2"},
       {{kKindText2, KindFit::Fits}, {kKindText, KindFit::Skipped}}},
      {"an object with a speech beside its title", 23, 1, "Lamp", embedded("", "Hello there"), {"object", "speech"},
       {{kKindObject, KindFit::Fits}, {kKindSpeech, KindFit::Fits}, {kKindText, KindFit::Skipped}}},
      {"a person with a text", 21, 5, "Captain", embedded(std::string(66, '\xFF'), "Wanted"), {"person", "text"},
       {{kKindPerson, KindFit::Fits}, {kKindText, KindFit::Fits}, {kKindSpeech, KindFit::Skipped}}},
      {"a titled speech", 29, 2, "Narrator", embedded("", "Once"), {"object", "speech"},
       {{kKindObject, KindFit::Fits}, {kKindPerson, KindFit::Note}, {kKindSpeech, KindFit::Fits}}},
      {"one character outside the type's layout is no text", 23, 1, "Lamp", embedded("", "!"), {"object"},
       {{kKindSpeech, KindFit::Harmful}}},
      {"one character in the type's own layout is", 29, 1, "", embedded("", "!"), {"speech"},
       {{kKindSpeech, KindFit::Fits}}},
      {"control bytes outside the type's layout are no text", 23, 1, "Lamp", embedded("", "\x01\x02\x03"), {"object"},
       {{kKindSpeech, KindFit::Harmful}}},
      {"texts at 0 and 102 apart: the higher first", 50, 2, "",
       embedded(embedded("", "Hi there") + std::string(90, '\xFF'), "Note"), {"text2", "speech"},
       {{kKindText2, KindFit::Fits}, {kKindSpeech, KindFit::Fits}}},
      {"overlapping texts: the type's own", 13, 1, "", kOverlapping, {"text"},
       {{kKindText, KindFit::Fits}, {kKindSpeech, KindFit::Note}}},
      {"overlapping texts no type suggests", 9, 6, "Crowd", kOverlapping, {"group"},
       {{kKindGroup, KindFit::Fits}, {kKindSpeech, KindFit::Note}, {kKindText, KindFit::Note}},
       true},
  };
  for (const Case& c : cases) {
    tRecordData data;
    data.type1 = c.type1, data.type2 = c.type2;
    data.title = c.title, data.subString = c.subString;
    data.titleLength = static_cast<uint16_t>(c.title.size());
    data.subStringLength = static_cast<int32_t>(c.subString.size());
    std::vector<std::string> words;
    const RecordSurvey survey = surveyRecord(data);
    for (const RecordText& t : survey.texts) {
      words.push_back(t.word);
      tTransRecord entry;
      entry.setType(t.word);
      EXPECT_EQ(entry.typeId, t.typeId) << c.what;
      EXPECT_EQ(kindFit(data, t.typeId), KindFit::Fits) << c.what << " " << t.word;
    }
    EXPECT_EQ(words, c.words) << c.what;
    EXPECT_EQ(survey.leftOut, c.leftOut) << c.what;
    // Overlaps are named; a plain record says nothing.
    EXPECT_EQ(survey.warning.find("overlap") != std::string::npos, c.subString == kOverlapping) << c.what;
    for (const auto& [typeId, fit] : c.fits) {
      const KindJudgement judged = judgeKind(data, typeId);
      EXPECT_EQ(judged.fit, fit) << c.what << " kind " << typeId;
      EXPECT_EQ(judged.why.empty(), fit == KindFit::Fits || fit == KindFit::DoesNothing) << c.what << " kind " << typeId;
    }
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
