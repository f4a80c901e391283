// vhtool import, run as the real program: PO files laid out as export,
// Weblate or an earlier export wrote them import alike, since each message
// names its scene and kind; every fault is named at its msgstr line, and
// one fault anywhere writes nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

// Four lines of header: a message starting on line 5 has its msgstr on 7.
const std::string kHead = "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";

std::string message(const std::string& context, const std::string& id, const std::string& str,
                    const std::string& comment = "") {
  return comment + "msgctxt \"" + context + "\"\nmsgid \"" + id + "\"\nmsgstr \"" + str + "\"\n\n";
}

// 你\n好 for a speech of two lines, 钥匙 for a title, and a fuzzy one.
std::string innMessages(bool comments, bool earlierExport) {
  const auto context = [&](const std::string& address, const std::string& word) {
    return earlierExport ? address : address + "|" + word;
  };
  const auto comment = [&](const std::string& word) { return comments ? "#. " + word + " in Inn/Inn.xarc\n" : ""; };
  return message(context("Inn990002", "speech"), "Never old.\\nAgain.", "\xE4\xBD\xA0\\n\xE5\xA5\xBD", comment("speech")) +
         message(context("Inn990003", "object"), "Key", "\xE9\x92\xA5\xE5\x8C\x99", comment("object")) +
         "#, fuzzy\n" + message(context("Inn990004", "text"), "Door", "\xE9\x97\xA8", comment("text"));
}

const std::string kInnTrz =
    "id=Inn990002\r\ntype=speech\r\nlength=5\r\nvalue=\xC4\xE3<CR>\xBA\xC3\r\n>>\r\n"
    "id=Inn990003\r\ntype=object\r\nlength=4\r\nvalue=\xD4\xBF\xB3\xD7\r\n>>\r\n";

TEST(VhtoolImportLayouts, EveryLayoutImportsTheSameEntries) {
  const struct {
    const char* layout;
    const char* file;
    bool comments, earlierExport;
  } kLayouts[] = {
      {"export's own", "po/Inn.po", true, false},
      {"a folder per scene", "po/Inn/zh_CN.po", true, false},
      {"a file per scene and language", "po/Inn.zh_CN.po", true, false},
      {"comments dropped by a tool", "elsewhere/any.po", false, false},
      {"an earlier export's, the kind in the comment", "po/Inn.po", true, true},
  };
  for (const auto& l : kLayouts) {
    test::TempDir dir;
    const std::string file = dir / l.file;
    test::makeFolders(fs::path(file).parent_path());
    test::writeFile(file, kHead + innMessages(l.comments, l.earlierExport));
    test::makeFolders(dir / "tree");
    const auto done = vhtool("import '" + file + "' --to '" + (dir / "tree") + "'");
    ASSERT_EQ(done.status, 0) << l.layout << "\n" << done.err;
    EXPECT_EQ(test::readFile(dir / "tree/trans/Inn.trz"), kInnTrz) << l.layout;
  }
}

TEST(VhtoolImportLayouts, OneFileMayHoldSeveralScenesAndARecordsTwoTexts) {
  test::TempDir dir;
  test::makeFolders(dir / "tree");
  // A title and a speech of one record, written text first: the title goes
  // first, so that the embedded text never moves a text still to come.
  test::writeFile(dir / "all.po", kHead + message("Docks010007|speech", "Hi", "\xE5\x97\xA8") +
                                      message("Docks010007|object", "Sign", "\xE7\x89\x8C") +
                                      message("Inn990003|object", "Key", "\xE9\x92\xA5\xE5\x8C\x99"));
  const auto done = vhtool("import '" + (dir / "all.po") + "' --to '" + (dir / "tree") + "'");
  ASSERT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(test::readFile(dir / "tree/trans/Docks.trz"),
            "id=Docks010007\r\ntype=object\r\nlength=2\r\nvalue=\xC5\xC6\r\n>>\r\n"
            "id=Docks010007\r\ntype=speech\r\nlength=2\r\nvalue=\xE0\xCB\r\n>>\r\n");
  EXPECT_EQ(test::readFile(dir / "tree/trans/Inn.trz"),
            "id=Inn990003\r\ntype=object\r\nlength=4\r\nvalue=\xD4\xBF\xB3\xD7\r\n>>\r\n");
}

TEST(VhtoolImportLayouts, EachFaultIsNamedAtItsMsgstrAndNothingIsWritten) {
  const struct {
    const char* fault;
    std::string messages;  // the faulty message first, from line 5
    std::string expected;  // after "FILE:7: "
  } kFaults[] = {
      {"a line break the source lacks", message("Inn990003|object", "Key", "\xE9\x92\xA5\\n\xE5\x8C\x99"),
       "a line break in the translation of Inn990003|object, whose source text has none"},
      {"too long for the length field", message("Inn990002|speech", "Hi", std::string(70'000, 'a')),
       "the translation's 70000 bytes in GBK do not fit its 16-bit length field (at most 65535)"},
      {"an unknown kind word", message("Inn990002|speach", "Hi", "x"), "unknown kind word \"speach\""},
      {"no record named", message("Inn|speech", "Hi", "x"), "the msgctxt \"Inn|speech\" names no record"},
      {"a scene that leads out of trans/", message("../../Inn990002|speech", "Hi", "x"),
       "the msgctxt \"../../Inn990002|speech\" names no record: a scene's name has no"},
      {"an earlier export's message without its comment", message("Inn990002", "Hi", "x"), "no kind word for Inn990002"},
      {"a character GBK lacks", message("Inn990002|speech", "Hi", "\xF0\x9F\x98\x80"),
       "\"\xF0\x9F\x98\x80\" (U+1F600) has no GBK code"},
      {"the text <CR>, which the TRZ reader takes for a line break", message("Inn990002|speech", "Hi", "a<CR>b"),
       "the text <CR> cannot stand in a TRZ value, which reads it as a line break"},
      {"a scene Windows takes for a device", message("con990002|speech", "Hi", "x"),
       "the msgctxt \"con990002|speech\" names no record: a scene's name is no device name"},
      {"a scene with a colon, a stream to Windows", message("Inn:x990002|speech", "Hi", "x"),
       "the msgctxt \"Inn:x990002|speech\" names no record: a scene's name is no device name"},
      {"two translations of one text", message("Inn990002|speech", "Hi", "x") + message("Inn990002|speech", "Hello", "y"),
       "a second translation of Inn990002|speech (the first at "},
  };
  for (const auto& f : kFaults) {
    test::TempDir dir;
    test::makeFolders(dir / "tree/trans");
    test::writeFile(dir / "tree/trans/Inn.trz", "mine");
    // A good file beside it: all or nothing.
    test::writeFile(dir / "good.po", kHead + message("Docks010001|object", "Key", "x"));
    test::writeFile(dir / "bad.po", kHead + f.messages);
    const auto refused =
        vhtool("import '" + (dir / "good.po") + "' '" + (dir / "bad.po") + "' --to '" + (dir / "tree") + "'");
    EXPECT_EQ(refused.status, 1) << f.fault;
    // The second of two messages has its msgstr on line 11.
    const int line = f.expected.starts_with("a second") ? 11 : 7;
    EXPECT_NE(refused.err.find((dir / "bad.po") + ":" + std::to_string(line) + ": " + f.expected), std::string::npos)
        << f.fault << "\n" << refused.err;
    EXPECT_NE(refused.err.find("nothing written: 1 problem\n"), std::string::npos) << f.fault << "\n" << refused.err;
    EXPECT_EQ(test::readFile(dir / "tree/trans/Inn.trz"), "mine") << f.fault;
    EXPECT_FALSE(fs::exists(dir / "tree/trans/Docks.trz")) << f.fault;
  }
}

// What gettext's library would read to its end before it hands anything
// over is not opened: a pipe, which may never end, and a file past the bound.
TEST(VhtoolImportBounds, APipeOrAFileOverTheBoundIsRefusedUnread) {
  const struct {
    const char* what;
    std::function<void(const std::string&)> make;
    std::string expected;
  } kFiles[] = {
      {"a pipe", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, "not a regular file"},
      {"64 MiB and a byte",
       [](const std::string& path) {
         test::writeFile(path, kHead + message("Inn990003|object", "Key", "x"));
         fs::resize_file(path, (64 << 20) + 1);
       },
       "larger than 64 MiB"},
  };
  for (const auto& f : kFiles) {
    test::TempDir dir;
    test::makeFolders(dir / "tree");
    f.make(dir / "in.po");
    const auto refused = test::runCommand("timeout 20 '" + test::binaryPath("vhtool") + "' import '" + (dir / "in.po") +
                                          "' --to '" + (dir / "tree") + "'");
    EXPECT_EQ(refused.status, 1) << f.what;
    EXPECT_NE(refused.err.find((dir / "in.po") + ": " + f.expected + "\n"), std::string::npos) << f.what << "\n"
                                                                                             << refused.err;
    EXPECT_FALSE(fs::exists(dir / "tree/trans")) << f.what;
  }
}


// A translation file already in the tree that cannot be read is neither
// backed up as an empty NAME~ nor replaced: the import stops and says so.
TEST(VhtoolImportBounds, AnUnreadableTranslationInTheTreeIsKeptAndNamed) {
  const struct {
    const char* what;
    std::function<void(const std::string&)> make;
    bool readable;  // as this user, who may be root
  } kTargets[] = {
      {"a pipe", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, false},
      {"a folder", [](const std::string& path) { test::makeFolders(path); }, false},
      {"a file this user may not read",
       [](const std::string& path) {
         test::writeFile(path, kInnTrz);
         ASSERT_EQ(chmod(path.c_str(), 0), 0);
       },
       geteuid() == 0},
  };
  for (const auto& t : kTargets) {
    if (t.readable) continue;  // root reads it all the same
    test::TempDir dir;
    test::makeFolders(dir / "tree/trans");
    const std::string target = dir / "tree/trans/Inn.trz";
    t.make(target);
    const auto before = fs::symlink_status(target).type();
    test::writeFile(dir / "in.po", kHead + innMessages(true, false));
    const auto refused = test::runCommand("timeout 20 '" + test::binaryPath("vhtool") + "' import '" + (dir / "in.po") +
                                          "' --to '" + (dir / "tree") + "'");
    EXPECT_EQ(refused.status, 1) << t.what;
    EXPECT_NE(refused.err.find("cannot read " + target + "\n"), std::string::npos) << t.what << "\n" << refused.err;
    EXPECT_EQ(fs::symlink_status(target).type(), before) << t.what;
    EXPECT_FALSE(fs::exists(target + "~")) << t.what;
  }
}

}  // namespace
}  // namespace vh
