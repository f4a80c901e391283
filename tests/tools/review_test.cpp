// The reviewer's checks of vhtool check, run as the real program: each one
// planted in a working tree exported from the sample game and reported at
// the value's line, and the same entries written cleanly reported by none.
#include "tools/review.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <vector>

#include "common/bytes.h"
#include "tests/test_support.h"

namespace vh {
namespace {

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

// GBK phrases.
const std::string kJia = "\xBC\xD7";             // 甲
const std::string kYi = "\xD2\xD2";              // 乙
const std::string kMarker = "\xB1\xEA\xBC\xC7";  // 标记
const std::string kSign = "\xBC\xC7\xBA\xC5";    // 记号
const std::string kLamp = "\xB5\xC6";            // 灯
const std::string kLantern = "\xB5\xC6\xC1\xFD";  // 灯笼, the glossary's word
const std::string kHeroine = "\xC3\xD7\xC0\xD9";  // 米蕾

struct Entry {
  std::string scene, id, type, value;  // the value as a TRZ file writes it
};

class ReviewChecks : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    ASSERT_EQ(vhtool("sample-game '" + dir_->path() + "' --shapes").status, 0);
    ASSERT_EQ(vhtool("export '" + (*dir_ / "game") + "' '" + (*dir_ / "tree") + "'").status, 0);
    exported_ = new std::vector<Entry>;
    for (const char* scene : {"Global", "Inn", "Lighthouse", "Harbor", "Graveyard", "Docks", "Marketplace", "Cellar"}) {
      Entry entry{scene, "", "", ""};
      for (std::string line : split(test::readFile(*dir_ / ("tree/trans/" + std::string(scene) + ".trz")), '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("id=")) entry.id = line.substr(3);
        if (line.starts_with("type=")) entry.type = line.substr(5);
        if (line.starts_with("value=")) entry.value = line.substr(6);
        if (line == ">>") exported_->push_back(entry);
      }
    }
  }
  static void TearDownTestSuite() {
    delete exported_;
    delete dir_;
  }

  // The first exported entry that `fits`, as it was exported.
  template <typename Fits>
  static Entry find(Fits fits) {
    for (const Entry& e : *exported_) {
      if (fits(e)) return e;
    }
    ADD_FAILURE() << "the sample game has no such text";
    return {};
  }
  static Entry speech(bool twoLines) {
    return find([&](const Entry& e) {
      return e.type == "speech" && (e.value.find("<CR>") != std::string::npos) == twoLines &&
             e.value.find(' ') != std::string::npos;
    });
  }
  static Entry with(Entry entry, const std::string& value) {
    entry.value = value;
    return entry;
  }

  // Every translation file replaced by these entries; the check's report,
  // with each entry's value line known as FILE:LINE.
  std::string check(const std::vector<Entry>& entries, const std::string& options = "") {
    std::map<std::string, std::string> files;
    places.clear();
    for (const Entry& e : entries) {
      std::string& text = files[e.scene];
      const int start = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
      text += "id=" + e.id + "\r\ntype=" + e.type + "\r\nvalue=" + e.value + "\r\n>>\r\n";
      places.push_back(*dir_ / ("tree/trans/" + e.scene + ".trz:") + std::to_string(start + 3));
    }
    for (const char* scene : {"Global", "Inn", "Lighthouse", "Harbor", "Graveyard", "Docks", "Marketplace", "Cellar"}) {
      test::writeFile(*dir_ / ("tree/trans/" + std::string(scene) + ".trz"), files[scene]);
    }
    const auto result = vhtool("check '" + (*dir_ / "game") + "' '" + (*dir_ / "tree") + "' " + options);
    status = result.status;
    return result.out;
  }

  static test::TempDir* dir_;
  static std::vector<Entry>* exported_;
  std::vector<std::string> places;
  int status = -1;
};

test::TempDir* ReviewChecks::dir_ = nullptr;
std::vector<Entry>* ReviewChecks::exported_ = nullptr;

TEST_F(ReviewChecks, EachIsReportedWhereItIsPlantedAndNowhereElse) {
  const Entry one = speech(false), two = speech(true);
  const Entry lantern = find([](const Entry& e) {
    return lowerCase(e.value).find("lantern") != std::string::npos && e.value.find("<CR>") == std::string::npos;
  });
  // Two records with the same title.
  Entry first, second;
  for (const Entry& e : *exported_) {
    if (e.value != "Marker") continue;
    (first.id.empty() ? first : second) = e;
    if (!second.id.empty()) break;
  }
  ASSERT_FALSE(second.id.empty());
  const Entry heroine = find([](const Entry& e) { return e.id == "Global994243"; });
  ASSERT_EQ(heroine.value, "Mirel");

  const struct {
    const char* check;
    std::vector<Entry> planted, clean;
    size_t at;  // the planted entry reported
    std::string message;
    bool problem = false;
    std::string options = "";
  } kChecks[] = {
      {"duplicate", {with(one, kJia), with(one, kYi)}, {with(one, kJia), with(two, kYi + "<CR>" + kJia)}, 1,
       "a second entry for " + one.id + "|speech (the first at ", true},
      {"leading blanks", {with(one, " " + kJia)}, {with(one, kJia)}, 0, "the translation begins with 1 blanks, the source with 0"},
      {"trailing blanks", {with(one, kJia + "\xA1\xA1")}, {with(one, kJia)}, 0, "the translation ends with 1 blanks"},
      {"line breaks", {with(one, kJia + "<CR>" + kYi)}, {with(two, kJia + "<CR>" + kYi)}, 0,
       "the translation has 1 line breaks, the source 0"},
      {"Latin letters left", {with(one, kJia + " Knife")}, {with(one, kJia + " 2")}, 0,
       "Latin letters left in the translation (\"Knife\"), where the source is several words"},
      {"one source, two translations", {with(first, kMarker), with(second, kSign)},
       {with(first, kMarker), with(second, kMarker)}, 1, "the same source text is translated differently at "},
      {"glossary", {with(lantern, kLamp)}, {with(lantern, kLantern)}, 0,
       "the glossary translates \"Lantern\" as \"\xE7\x81\xAF\xE7\xAC\xBC\" (line 2), which the translation lacks", false,
       "--glossary '" + (*dir_ / "glossary.csv") + "'"},
      {"glossary, strict", {with(lantern, kLamp)}, {with(lantern, kLantern)}, 0, "the glossary translates \"Lantern\"",
       true, "--glossary '" + (*dir_ / "glossary.csv") + "' --strict"},
      {"the heroine's name", {with(heroine, kHeroine)}, {heroine}, 0, "the heroine's name: the installer always writes"},
  };
  // The glossary's term in capitals, matched whatever the case.
  test::writeFile(*dir_ / "glossary.csv", "source,target\r\nLantern,\xE7\x81\xAF\xE7\xAC\xBC\r\n\"Old, old\",x\r\n");
  for (const auto& c : kChecks) {
    const std::string planted = check(c.planted, c.options);
    const std::string expected = places[c.at] + ": " + (c.problem ? "" : "note: ") + c.message;
    EXPECT_NE(planted.find(expected), std::string::npos) << c.check << ": " << expected << "\n" << planted;
    EXPECT_EQ(status, c.problem ? 1 : 0) << c.check << "\n" << planted;
    const std::string clean = check(c.clean, c.options);
    EXPECT_EQ(clean, "") << c.check;
    EXPECT_EQ(status, 0) << c.check;
  }
}

// A glossary of `size` bytes: the header, blank lines, and one term.
std::string blankLines(size_t size) {
  const std::string head = "source,target\n", term = "key,x\n";
  return head + std::string(size - head.size() - term.size(), '\n') + term;
}

TEST(Glossary, IsReadAsSpreadsheetsWriteCsv) {
  test::TempDir dir;
  const struct {
    const char* what;
    std::string text;
    std::vector<std::pair<std::string, std::string>> terms;  // or none, for an error
    std::string error = "";
  } kFiles[] = {
      {"plain, with a byte-order mark and CR LF", "\xEF\xBB\xBFsource,target\r\nkey,\xE9\x92\xA5\xE5\x8C\x99\r\n\r\n",
       {{"key", "\xE9\x92\xA5\xE5\x8C\x99"}}},
      {"quoted fields with commas, quotes and line breaks", "source,target\n\"a, b\",\"say \"\"hi\"\"\"\n\"two\nlines\",x",
       {{"a, b", "say \"hi\""}, {"two\nlines", "x"}}},
      {"another header", "english,chinese\nkey,x\n", {}, "line 1: the header must be \"source,target\""},
      {"a term without its target", "source,target\nkey,x\nlamp\n", {}, "line 3: a term needs a source and a target"},
      {"a quote never closed", "source,target\n\"key,x\n", {}, "line 2: a quoted field is never closed"},
      {"not UTF-8", "source,target\nkey,\xD4\xBF\xB3\xD7\n", {}, "not UTF-8: save it as UTF-8"},
      {"16 MiB, blank lines but one term", blankLines(16 << 20), {{"key", "x"}}},
      {"one byte over 16 MiB", blankLines((16 << 20) + 1), {}, "larger than 16 MiB"},
  };
  for (const auto& f : kFiles) {
    test::writeFile(dir / "g.csv", f.text);
    std::string error;
    const auto terms = tool::readGlossary(dir / "g.csv", error);
    EXPECT_EQ(error, f.error) << f.what;
    if (!f.error.empty()) {
      EXPECT_FALSE(terms) << f.what;
      continue;
    }
    ASSERT_TRUE(terms) << f.what;
    std::vector<std::pair<std::string, std::string>> found;
    for (const tool::GlossaryTerm& t : *terms) found.push_back({t.source, t.target});
    EXPECT_EQ(found, f.terms) << f.what;
  }
  // A pipe may never end: it is not opened.
  ASSERT_EQ(mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
  std::string error;
  EXPECT_FALSE(tool::readGlossary(dir / "pipe.csv", error));
  EXPECT_EQ(error, "not a regular file");
}

// Read in a child, whose peak resident size beyond what it held before is
// the reader's alone: a file at the bound costs about its own bytes, not a
// row object for every one of its lines.
TEST(Glossary, AFileAtTheBoundCostsAboutItsOwnBytes) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "resident size is not measured under AddressSanitizer, whose shadow memory dwarfs the reader's";
#else
  test::TempDir dir;
  test::writeFile(dir / "g.csv", blankLines(16 << 20));
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
      std::fclose(statm);
    }
    std::string error;
    const auto terms = tool::readGlossary(dir / "g.csv", error);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long grownKiB = terms && terms->size() == 1 ? usage.ru_maxrss - resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
    if (::write(pipe[1], &grownKiB, sizeof grownKiB) != sizeof grownKiB) _exit(1);
    _exit(0);
  }
  ::close(pipe[1]);
  long grownKiB = -1;
  ASSERT_EQ(::read(pipe[0], &grownKiB, sizeof grownKiB), static_cast<ssize_t>(sizeof grownKiB));
  ::close(pipe[0]);
  waitpid(child, nullptr, 0);
  ASSERT_GE(grownKiB, 0) << "the glossary did not read as one term";
  EXPECT_LE(grownKiB, 64 * 1024) << "KiB for a 16 MiB glossary";
#endif
}

TEST(Glossary, TermsMatchWholeWordsInAnyLetterCase) {
  // Terms of one word, of two, and one that starts with no letter; the
  // translation holds none of their targets but the last term's.
  const std::string kKeyTarget = "\xE9\x92\xA5\xE5\x8C\x99";  // 钥匙
  const std::vector<tool::GlossaryTerm> glossary = {{"key", kKeyTarget, 2},
                                                    {"Old Key", "x", 3},
                                                    {"-key", "y", 4},
                                                    {"door", "\xE8\xB0\x81", 5}};  // 谁, in the translation
  const struct {
    const char* source;
    std::vector<int> notedLines;  // in the glossary's order
  } kSources[] = {{"The Key.", {2}},
                  {"KEY", {2}},
                  {"keys", {}},
                  {"monkey", {}},
                  {"a key-ring", {2}},
                  {"the old  key", {2}},
                  {"The OLD KEY", {2, 3}},
                  {"a-key", {2}},
                  {"a -key", {2, 4}},
                  {"Old keys open the door", {}}};
  for (const auto& s : kSources) {
    SCOPED_TRACE(s.source);
    const tool::ReviewedText text{"f", 1, "Inn", 1, 1, 2, "speech", s.source, "\xCB\xAD"};  // 谁 in GBK
    const auto findings = tool::review({text}, {&glossary, false});
    std::vector<int> lines;
    for (const auto& f : findings) {
      const size_t at = f.message.find("(line ");
      ASSERT_NE(at, std::string::npos) << f.message;
      lines.push_back(std::stoi(f.message.substr(at + 6)));
    }
    EXPECT_EQ(lines, s.notedLines);
  }
}

}  // namespace
}  // namespace vh
