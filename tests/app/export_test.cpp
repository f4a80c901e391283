// vhtool export and import with the real programs: a working tree exported
// from the game and installed by vhpatch leaves the game as it was, and the
// PO route installs the same game as the TRZ route. VH_SAMPLE_SIZE=large
// runs both on the large sample game.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include "common/byte_buffer.h"
#include "common/bytes.h"
#include "common/stream.h"
#include "fixtures/sample_game.h"
#include "formats/scene_list.h"
#include "formats/xarc.h"
#include "install/patcher.h"
#include "tests/recording_host.h"
#include "tests/app/installation.h"
#include "tests/app/recording_desktop.h"
#include "tests/test_support.h"
#include "tools/po_file.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

// The program's folder holds this working tree and nothing else of the
// sample's.
void useWorktree(const Installation& setup, const std::string& tree) {
  for (const char* folder : {"data", "trans", "addon", "extra"}) fs::remove_all(setup.program + "/" + folder);
  for (const char* folder : {"data", "trans"}) fs::copy(tree + "/" + folder, setup.program + "/" + folder);
}

std::map<std::string, std::string> gameBytes(const Installation& setup) {
  std::map<std::string, std::string> bytes;
  for (const std::string& path : setup.archives()) bytes[path] = test::readFile(setup.game + "/" + path);
  return bytes;
}

void install(const Installation& setup) {
  const auto result = setup.vhpatch("makeandapply");
  ASSERT_EQ(result.status, 0) << result.out << result.err;
}

// Every shape of text: titles beside embedded texts, texts in the layout
// their type does not suggest, two-line speeches.
std::string shapes() { return test::sampleShape() + " --shapes"; }

TEST(VhtoolExport, AnUnchangedExportInstallsTheGameAsItWasButTheHeroine) {
  Installation setup("", 3, shapes());
  const std::string out = setup.dir / "export";
  const auto exported = vhtool("export '" + setup.game + "' '" + out + "'");
  ASSERT_EQ(exported.status, 0) << exported.err;

  // The index files name every archive of the game.
  auto list = std::make_shared<ByteBuffer>();
  BufferStream stream(list);
  writeSceneList(stream, test::standardError(), out + "/data/");
  std::vector<std::string> listed;
  const std::string text = list->toString();
  for (const std::string& line : split(text, '\n')) {
    if (line.starts_with("path=")) listed.push_back(line.substr(5, line.size() - 6));  // without "path=" and CR
  }
  std::sort(listed.begin(), listed.end());
  std::vector<std::string> archives = setup.archives();
  archives.erase(std::find(archives.begin(), archives.end(), "x.xarc"));
  EXPECT_EQ(listed, archives);
  const std::string inn = test::readFile(out + "/trans/Inn.trz");
  for (const char* word : {"group", "speech", "object", "text", "person", "text2"}) {
    EXPECT_NE(inn.find(std::string("\r\ntype=") + word + "\r\n"), std::string::npos) << word;
  }

  useWorktree(setup, out);
  install(setup);
  for (const std::string& path : archives) {
    std::string expected = test::readFile(setup.original + "/" + path);
    if (path == "Global/Global.xarc") {
      RecordingHost quiet;
      tXARC global;
      ASSERT_EQ(global.open(setup.original + "/" + path, quiet), 1);
      setHeroineName(*global.getXRC());
      expected = test::saved(global);
    }
    EXPECT_TRUE(test::readFile(setup.game + "/" + path) == expected) << path;
  }
}

TEST(VhtoolExport, ThePoRouteInstallsWhatTheTrzRouteInstalls) {
  Installation setup("", 3, shapes());
  const std::string trzTree = setup.dir / "trz";
  ASSERT_EQ(vhtool("export '" + setup.game + "' '" + trzTree + "'").status, 0);
  // Every other entry translated, its line breaks where the source has them.
  for (const auto& file : fs::directory_iterator(trzTree + "/trans")) {
    std::string translated;
    int n = 0;
    for (const std::string& line : split(test::readFile(file.path()), '\n')) {
      if (line.empty()) continue;
      if (line.starts_with("value=") && ++n % 2) {
        translated += "value=\xC4\xE3\xBA\xC3" + std::to_string(n);
        for (size_t at = line.find("<CR>"); at != std::string::npos; at = line.find("<CR>", at + 1)) {
          translated += "<CR>" + std::to_string(at);
        }
        translated += "\r";
      } else {
        translated += line;
      }
      translated += "\n";
    }
    test::writeFile(file.path(), translated);
  }
  useWorktree(setup, trzTree);
  install(setup);
  const auto trzGame = gameBytes(setup);
  EXPECT_NE(trzGame.at("Inn/1/1.xarc"), test::readFile(setup.original + "/Inn/1/1.xarc"));
  fs::remove_all(setup.game);
  fs::copy(setup.original, setup.game, fs::copy_options::recursive);

  const std::string poTree = setup.dir / "po";
  const auto exported =
      vhtool("export '" + setup.game + "' '" + poTree + "' --po --from '" + trzTree + "' --old-game '" + setup.game + "'");
  ASSERT_EQ(exported.status, 0) << exported.err;
  std::string poFiles;
  for (const auto& file : fs::directory_iterator(poTree + "/po")) {
    const auto checked = test::runCommand("msgfmt --check -o /dev/null '" + file.path().string() + "'");
    EXPECT_EQ(checked.status, 0) << file.path() << checked.err;
    if (file.path().extension() == ".po") {
      EXPECT_EQ(checked.err, "") << file.path();
      poFiles += " '" + file.path().string() + "'";
    }
  }
  const std::string imported = setup.dir / "imported";
  fs::create_directories(imported);
  fs::copy(poTree + "/data", imported + "/data");
  const auto done = vhtool("import" + poFiles + " --to '" + imported + "'");
  ASSERT_EQ(done.status, 0) << done.err;
  useWorktree(setup, imported);
  install(setup);
  EXPECT_TRUE(gameBytes(setup) == trzGame);
}

// The texts of a working tree's TRZ files: address, kind word and the text
// as the game stores it.
using Texts = std::set<std::tuple<std::string, std::string, std::string>>;

Texts trzTexts(const std::string& trans) {
  Texts texts;
  for (const auto& file : fs::directory_iterator(trans)) {
    std::string id, type;
    for (std::string line : split(test::readFile(file.path()), '\n')) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.starts_with("id=")) id = line.substr(3);
      if (line.starts_with("type=")) type = line.substr(5);
      if (!line.starts_with("value=")) continue;
      std::string value = line.substr(6);
      for (size_t at; (at = value.find("<CR>")) != std::string::npos;) value.replace(at, 4, "\n");
      texts.insert({id, type, value});
    }
  }
  return texts;
}

TEST(VhtoolExport, OffersEveryTextTheGameHoldsAsTheGeneratorPlantedThem) {
  test::TempDir dir;
  SampleGameOptions options;
  options.shapes = true;
  if (test::sampleShape("small") != "small") {
    options.large = true, options.scenes = 300, options.subs = 4;  // as vhtool sample-game --size large
  }
  const SampleGameSummary summary = writeSampleGame(dir.path(), options);
  Texts planted;
  for (const PlantedText& t : summary.texts) planted.insert({t.address, t.word, t.text});
  ASSERT_EQ(planted.size(), summary.texts.size());
  const std::string game = dir / "game";

  const auto exported = vhtool("export '" + game + "' '" + (dir / "trz") + "'");
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out, "exported " + std::to_string(planted.size()) + " texts of " + std::to_string(options.scenes) +
                              " scenes; 1 record left out: 1 with text in overlapping layouts no kind word fits\n");
  ASSERT_EQ(summary.leftOut.size(), 1u);
  EXPECT_NE(exported.err.find(summary.leftOut[0] + " (Inn/Inn.xarc): texts read at bytes 0 and 66 overlap"),
            std::string::npos)
      << exported.err;
  const Texts found = trzTexts(dir / "trz/trans");
  std::vector<std::tuple<std::string, std::string, std::string>> missing, extra;
  std::set_difference(planted.begin(), planted.end(), found.begin(), found.end(), std::back_inserter(missing));
  std::set_difference(found.begin(), found.end(), planted.begin(), planted.end(), std::back_inserter(extra));
  EXPECT_TRUE(missing.empty()) << missing.size() << " missing, the first " << std::get<0>(missing[0]) << " "
                               << std::get<1>(missing[0]) << " \"" << std::get<2>(missing[0]) << "\"";
  EXPECT_TRUE(extra.empty()) << extra.size() << " not planted, the first " << std::get<0>(extra[0]) << " "
                             << std::get<1>(extra[0]) << " \"" << std::get<2>(extra[0]) << "\"";

  // The same texts as PO messages, each named by its address and kind.
  ASSERT_EQ(vhtool("export '" + game + "' '" + (dir / "po") + "' --po").status, 0);
  Texts messages;
  for (const auto& file : fs::directory_iterator(dir / "po/po")) {
    if (file.path().extension() != ".po") continue;
    std::vector<std::string> problems;
    const auto catalog = tool::readPoFile(file.path(), problems);
    ASSERT_TRUE(catalog) << file.path();
    for (const tool::PoMessage& m : catalog->messages) {
      const size_t bar = m.context.find('|');
      messages.insert({m.context.substr(0, bar), m.context.substr(bar + 1), m.id});  // ASCII: UTF-8 is GBK
    }
  }
  EXPECT_TRUE(messages == planted) << messages.size() << " messages, " << planted.size() << " planted";

  // Templates only, for teams that merge themselves.
  ASSERT_EQ(vhtool("export '" + game + "' '" + (dir / "pot") + "' --pot").status, 0);
  EXPECT_TRUE(fs::exists(dir / "pot/po/Inn.pot"));
  EXPECT_FALSE(fs::exists(dir / "pot/po/Inn.po"));

  // dump shows every text of a record under its kind word.
  const auto dumped = test::runCommand("LC_ALL=C.UTF-8 '" + test::binaryPath("vhtool") + "' dump '" + game +
                                       "/Inn/Inn.xarc'");
  for (const PlantedText& t : summary.texts) {
    if (!t.address.starts_with("Inn99")) continue;
    std::string shown = t.text;
    for (size_t at; (at = shown.find('\n')) != std::string::npos;) shown.replace(at, 1, "\\n");
    const bool title = t.word == "group" || t.word == "object" || t.word == "person";
    const std::string field = (title ? std::string("title") : t.word) + " \"" + shown + "\"";
    const size_t line = dumped.out.find("\n" + t.address + " ");
    ASSERT_NE(line, std::string::npos) << t.address;
    EXPECT_NE(dumped.out.substr(line, dumped.out.find('\n', line + 1) - line).find(field), std::string::npos)
        << t.address << " " << field;
  }
}

TEST(VhtoolExport, RefusesToOverwriteAndReportsUsage) {
  test::TempDir dir;
  ASSERT_EQ(vhtool("sample-game '" + dir.path() + "' --scenes 3 --subs 1").status, 0);
  const std::string game = dir / "game", out = dir / "out";
  ASSERT_EQ(vhtool("export '" + game + "' '" + out + "' --scene Inn").status, 0);
  EXPECT_TRUE(fs::exists(out + "/trans/Inn.trz"));
  EXPECT_FALSE(fs::exists(out + "/trans/Global.trz"));
  // A scene exported later adds its archives to the fingerprint list, which
  // keeps those of the scene exported before; a file that is no such list
  // is not merged into unasked.
  const std::string list = out + "/data/fingerprint.lst";
  ASSERT_EQ(vhtool("export '" + game + "' '" + out + "' --scene Lighthouse").status, 0);
  for (const char* archive : {"Inn/Inn.xarc", "static/Lighthouse/Lighthouse.xarc"}) {
    EXPECT_NE(test::readFile(list).find(std::string("path=") + archive + "\r\nshape="), std::string::npos) << archive;
  }
  test::writeFile(list, "not a list\r\n");
  const auto unmerged = vhtool("export '" + game + "' '" + out + "' --scene Global");
  EXPECT_EQ(unmerged.status, 1);
  EXPECT_NE(unmerged.err.find(list + " is no fingerprint list to add to; --force replaces it"), std::string::npos)
      << unmerged.err;
  EXPECT_EQ(test::readFile(list), "not a list\r\n");
  test::writeFile(out + "/trans/Inn.trz", "mine");
  const auto again = vhtool("export '" + game + "' '" + out + "'");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find(out + "/trans/Inn.trz exists; --force replaces it"), std::string::npos) << again.err;
  EXPECT_EQ(test::readFile(out + "/trans/Inn.trz"), "mine");
  EXPECT_FALSE(fs::exists(out + "/trans/Global.trz"));  // nothing written at all
  EXPECT_EQ(vhtool("export '" + game + "' '" + out + "' --force").status, 0);
  EXPECT_NE(test::readFile(out + "/trans/Inn.trz"), "mine");
  EXPECT_EQ(test::readFile(list).find("not a list"), std::string::npos);
  EXPECT_NE(test::readFile(list).find("path=Global/Global.xarc\r\nshape="), std::string::npos);
  EXPECT_EQ(vhtool("export '" + game + "' '" + out + "' --scene Nowhere --force").status, 1);

  for (const char* usage : {"export only-one", "export a b --from c", "export a b --po --pot",
                            "export a b --po --old-game c", "export a b --bogus", "import x.po",
                            "import --to somewhere"}) {
    EXPECT_EQ(vhtool(usage).status, 2) << usage;
  }
  const auto help = vhtool("--help");
  EXPECT_NE(help.out.find("\n  export GAME OUT"), std::string::npos);
  EXPECT_NE(help.out.find("\n  import PO... --to WORKTREE"), std::string::npos);
}

const std::string kPoHead =
    "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";

TEST(VhtoolImport, WritesFinishedTranslationsInGbkAndKeepsThePreviousFile) {
  test::TempDir dir;
  test::makeFolders(dir / "tree/trans");
  test::writeFile(dir / "tree/trans/Inn.trz", "previous");
  test::writeFile(dir / "Inn.po", kPoHead +
                                      "#. speech in Inn/Inn.xarc\nmsgctxt \"Inn990002\"\nmsgid \"\\nNever old.\\n\"\n"
                                      "msgstr \"\xE4\xBD\xA0\\n\xE5\xA5\xBD\\n\\n\"\n\n"  // 你\n好, one trailing \n too many
                                      "#. text in Inn/Inn.xarc\n#, fuzzy\nmsgctxt \"Inn990004\"\nmsgid \"Door\"\n"
                                      "msgstr \"\xE9\x97\xA8\"\n\n"
                                      "#. object in Inn/Inn.xarc\nmsgctxt \"Inn990003\"\nmsgid \"Key\"\nmsgstr \"\"\n");
  const auto done = vhtool("import '" + (dir / "Inn.po") + "' --to '" + (dir / "tree") + "'");
  ASSERT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(test::readFile(dir / "tree/trans/Inn.trz"),
            "id=Inn990002\r\ntype=speech\r\nlength=7\r\nvalue=<CR>\xC4\xE3<CR>\xBA\xC3<CR>\r\n>>\r\n");
  EXPECT_EQ(test::readFile(dir / "tree/trans/Inn.trz~"), "previous");

  // The message whose character GBK lacks is named by its msgstr line, 8
  // (its msgctxt is on line 6); nothing is written, and that is said.
  test::writeFile(dir / "Inn.po", kPoHead + "#. person in Inn/Inn.xarc\nmsgctxt \"Inn990005\"\nmsgid \"Captain\"\n"
                                            "msgstr \"\xF0\x9F\x98\x80\"\n");
  const std::string before = test::readFile(dir / "tree/trans/Inn.trz");
  const auto refused = vhtool("import '" + (dir / "Inn.po") + "' --to '" + (dir / "tree") + "'");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find((dir / "Inn.po") + ":8: \"\xF0\x9F\x98\x80\" (U+1F600) has no GBK code"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("nothing written: 1 problem\n"), std::string::npos) << refused.err;
  EXPECT_EQ(test::readFile(dir / "tree/trans/Inn.trz"), before);

  test::writeFile(dir / "Inn.po", "msgid \"x\nmsgstr");
  EXPECT_EQ(vhtool("import '" + (dir / "Inn.po") + "' --to '" + (dir / "tree") + "'").status, 1);
  EXPECT_EQ(test::readFile(dir / "tree/trans/Inn.trz"), before);
}

}  // namespace
}  // namespace vh
