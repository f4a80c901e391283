// The PO reader on its own: what each shape of message becomes, and that a
// file cut anywhere is either refused with its problems named or read as a
// part of what the whole file holds, never more.
#include "tools/po_file.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace vh::tool {
namespace {

const std::string kHeader = "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";

std::optional<PoCatalog> readText(const std::string& text, std::vector<std::string>& problems) {
  test::TempDir dir;
  test::writeFile(dir / "t.po", text);
  return readPoFile(dir / "t.po", problems);
}

struct Shape {
  const char* name;
  std::string body;  // after the header
  bool read;         // whether gettext accepts it
  PoMessage first;   // the first message when read (line, fuzzy, obsolete...)
};

TEST(PoReader, EachShapeOfMessageReadsAsWritten) {
  const std::vector<Shape> shapes = {
      {"plain", "msgctxt \"Inn990002|speech\"\nmsgid \"Door\"\nmsgstr \"\xE9\x97\xA8\"\n", true,
       {"Inn990002|speech", "Door", "\xE9\x97\xA8", "", false, false, "", 7}},
      {"continued lines", "msgctxt \"A|text\"\nmsgid \"\"\n\"one\\n\"\n\"two\"\nmsgstr \"\"\n\"x\\n\"\n\"y\"\n", true,
       {"A|text", "one\ntwo", "x\ny", "", false, false, "", 9}},
      {"fuzzy with previous", "#. a note\n#, fuzzy\n#| msgid \"Dor\"\nmsgctxt \"B|object\"\nmsgid \"Door\"\nmsgstr \"\xE9\x97\xA8\"\n",
       true, {"B|object", "Door", "\xE9\x97\xA8", "a note\n", true, false, "Dor", 10}},
      {"obsolete", "#~ msgctxt \"C|text\"\n#~ msgid \"Gone\"\n#~ msgstr \"x\"\n", true,
       {"C|text", "Gone", "x", "", false, true, "", 0}},
      {"untranslated", "msgctxt \"D|text\"\nmsgid \"Door\"\nmsgstr \"\"\n", true,
       {"D|text", "Door", "", "", false, false, "", 7}},
      {"msgstr missing", "msgctxt \"E|text\"\nmsgid \"Door\"\n", false, {}},
      {"unterminated string", "msgctxt \"F|text\"\nmsgid \"Door\nmsgstr \"x\"\n", false, {}},
      {"unknown keyword", "msgctxt \"G|text\"\nmsgidd \"Door\"\nmsgstr \"x\"\n", false, {}},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    std::vector<std::string> problems;
    const auto catalog = readText(kHeader + shape.body, problems);
    ASSERT_EQ(catalog.has_value(), shape.read);
    if (!shape.read) {
      EXPECT_FALSE(problems.empty());
      continue;
    }
    ASSERT_EQ(catalog->messages.size(), 1u);
    const PoMessage& m = catalog->messages[0];
    EXPECT_EQ(m.context, shape.first.context);
    EXPECT_EQ(m.id, shape.first.id);
    EXPECT_EQ(m.str, shape.first.str);
    EXPECT_EQ(m.extracted, shape.first.extracted);
    EXPECT_EQ(m.fuzzy, shape.first.fuzzy);
    EXPECT_EQ(m.obsolete, shape.first.obsolete);
    EXPECT_EQ(m.previous, shape.first.previous);
    if (!m.obsolete) {
      EXPECT_EQ(m.line, shape.first.line);
    }
  }
}

TEST(PoReader, AFileCutAnywhereIsRefusedOrReadAsAPartOfTheWhole) {
  std::string body;
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i);
    body += (i == 2 ? "#, fuzzy\n" : "") + std::string("msgctxt \"S|") + n + "\"\nmsgid \"id " + n +
            "\"\nmsgstr \"\xE8\xAF\x91 " + n + "\"\n\n";
  }
  const std::string whole = kHeader + body;
  std::vector<std::string> problems;
  const auto all = readText(whole, problems);
  ASSERT_TRUE(all);
  ASSERT_EQ(all->messages.size(), 4u);
  std::set<std::string> known;
  for (const PoMessage& m : all->messages) known.insert(m.context + "\n" + m.id + "\n" + m.str);
  const std::vector<PoMessagePlace> places = poMessagePlaces(whole);
  ASSERT_EQ(places.size(), 4u);
  for (size_t i = 0; i < places.size(); ++i) EXPECT_EQ(places[i].msgstrLine, all->messages[i].line);

  size_t refused = 0, partial = 0;
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const std::string part = whole.substr(0, cut);
    std::vector<std::string> partProblems;
    const auto read = readText(part, partProblems);
    if (!read) {
      ++refused;
      EXPECT_FALSE(partProblems.empty());
    } else {
      ++partial;
      ASSERT_LE(read->messages.size(), all->messages.size());
      // Whole messages keep their texts; only the last may have lost the
      // end of its msgstr, never gained anything.
      for (size_t i = 0; i + 1 < read->messages.size(); ++i) {
        const PoMessage& m = read->messages[i];
        EXPECT_TRUE(known.count(m.context + "\n" + m.id + "\n" + m.str)) << m.context;
      }
    }
    const std::vector<PoMessagePlace> partPlaces = poMessagePlaces(part);
    ASSERT_LE(partPlaces.size(), places.size());
    for (size_t i = 0; i < partPlaces.size(); ++i) {
      EXPECT_EQ(partPlaces[i].context, places[i].context);
      EXPECT_EQ(partPlaces[i].msgstrLine, places[i].msgstrLine);
    }
  }
  // Both outcomes occur: cuts inside a string are refused, cuts between
  // messages read.
  EXPECT_GT(refused, 0u);
  EXPECT_GT(partial, 0u);
}

}  // namespace
}  // namespace vh::tool
