#include "common/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vh {
namespace {

// The lines as the stream's own rule reads them, one byte at a time.
std::vector<std::string> streamLines(const std::string& bytes) {
  MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
  std::vector<std::string> lines;
  while (!in.atEnd()) lines.push_back(in.readLine());
  return lines;
}

// A line that runs over several of the reader's blocks.
const std::string kLongLine = std::string(70'000, 'a') + "\r" + std::string(70'000, 'b');

TEST(LineReader, ReadsTheLinesTheStreamRuleReads) {
  const std::vector<std::string> inputs = {
      "",           "a",         "a\n",          "a\nb",         "a\r\nb\r\n", "\n\n",
      "\r",         "\r\n",      std::string("a\0b\n", 4),        "x\ry\rz\n",  ">>\r\n>>",
      kLongLine,    kLongLine + "\nz\n" + kLongLine,
  };
  for (const std::string& input : inputs) {
    SCOPED_TRACE(::testing::PrintToString(input.substr(0, 20)) + " of " + std::to_string(input.size()) + " bytes");
    const std::vector<std::string> expected = streamLines(input);
    {
      MemoryStream in(static_cast<const void*>(input.data()), input.size());
      LineReader lines(in);
      std::vector<std::string> whole;
      while (!lines.atEnd()) {
        std::string text;
        const uint64_t length = lines.readRest(SIZE_MAX, text);
        EXPECT_EQ(length, text.size());
        whole.push_back(text);
      }
      EXPECT_EQ(whole, expected);
    }
    {
      // The same lines put together from their pieces.
      MemoryStream in(static_cast<const void*>(input.data()), input.size());
      LineReader lines(in);
      std::vector<std::string> joined;
      std::string_view piece;
      while (!lines.atEnd()) {
        joined.emplace_back();
        while (lines.nextPiece(piece)) {
          EXPECT_FALSE(piece.empty());
          joined.back().append(piece);
        }
      }
      EXPECT_EQ(joined, expected);
    }
  }
}

TEST(LineReader, HoldsWhatItIsToldToKeepAndCountsTheRest) {
  const std::string input = kLongLine + "\nshort\n";
  MemoryStream in(static_cast<const void*>(input.data()), input.size());
  LineReader lines(in);
  std::string text;
  EXPECT_EQ(lines.readRest(10, text), 140'000u);  // the carriage return is no part of it
  EXPECT_EQ(text, std::string(10, 'a'));
  EXPECT_EQ(lines.readRest(0, text), 5u);
  EXPECT_EQ(text, "");
  EXPECT_TRUE(lines.atEnd());
}

TEST(LineReader, TellsKeysAsTheKeyValueRuleSplitsThem) {
  struct Case {
    std::string line;
    std::string key;
    bool valueFollows;
    std::string value;  // the rest of the line, when it follows
  };
  const std::vector<Case> cases = {
      {"id=Docks010001", "id", true, "Docks010001"},
      {"value=a=b", "value", true, "a=b"},
      {"value=", "value", true, ""},
      {"value::", "value::", false, ""},
      {"value::=x", "value::", true, "x"},
      {">>", ">>", false, ""},
      {"type", "type", false, ""},
      {"", "", false, ""},
      // All key: a line that starts with "=", and keys longer than any known.
      {"=value", "=", false, ""},
      {"valuevalue=x", "valuevalu", false, ""},
      {"valuevalue", "valuevalu", false, ""},
      {"i\rd=x", "id", true, "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string input = c.line + "\nnext\n";
    MemoryStream in(static_cast<const void*>(input.data()), input.size());
    LineReader lines(in);
    std::string key, rest;
    EXPECT_EQ(lines.readKey(8, key), c.valueFollows);
    EXPECT_EQ(key, c.key);
    if (c.valueFollows) {
      lines.readRest(SIZE_MAX, rest);
      EXPECT_EQ(rest, c.value);
    }
    // The line was read to its end either way.
    lines.readRest(SIZE_MAX, rest);
    EXPECT_EQ(rest, "next");
  }
}

}  // namespace
}  // namespace vh
