#include "support/library_folders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vh {
namespace {

std::string nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "\"k\" {";
  for (int i = 0; i < depth; ++i) text += "}";
  return text;
}

TEST(LibraryFolders, ListsAndFaults) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> folders;  // when it reads
    std::string fault;                 // when it does not
  };
  const Case cases[] = {
      {"current form, other keys and blocks skipped",
       "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/p/.local/share/Steam\"\n\t\t\"apps\"\n\t\t{\n"
       "\t\t\t\"228980\"\t\t\"1037221887\"\n\t\t}\n\t}\n\t\"1\"\n\t{\n\t\t\"label\"\t\"x\"\n\t\t\"PATH\"\t\"/mnt/lib\"\n\t}\n}\n",
       {"/home/p/.local/share/Steam", "/mnt/lib"}, ""},
      {"older form: numbered values, other values skipped",
       "// comment\n\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1733650000\"\n\t\"1\"\t\"/mnt/a\"\n\t\"2\"\t\"/mnt/b\"\n}\n",
       {"/mnt/a", "/mnt/b"}, ""},
      {"escapes undone, a lone backslash kept", "\"libraryfolders\" { \"0\" { \"path\" \"/a \\\"b\\\"\\\\c\\td\\q\" } }",
       {"/a \"b\"\\c\td\\q"}, ""},
      {"bare words and CR LF lines", "libraryfolders\r\n{\r\n 0 { path /srv/steam }\r\n}\r\n", {"/srv/steam"}, ""},
      {"a library without a path, an empty path", "\"libraryfolders\" { \"0\" { \"label\" \"\" } \"1\" { \"path\" \"\" } }",
       {}, ""},
      {"another top block", "\"config\" { \"1\" \"/x\" }", {}, ""},
      {"empty file", "", {}, ""},
      {"blocks at the limit", nested(kMaxKeyValueDepth), {}, ""},
      {"blocks beyond the limit", nested(kMaxKeyValueDepth + 1), {},
       "libraryfolders.vdf: blocks nest deeper than 32"},
      {"unclosed quote", "\"libraryfolders\" { \"0\" { \"path\" \"/home", {}, "libraryfolders.vdf: a quoted text is not closed"},
      {"unclosed block", "\"libraryfolders\" { \"0\" { \"path\" \"/x\" }", {}, "libraryfolders.vdf: a block is not closed"},
      {"a brace too many", "\"libraryfolders\" { } }", {}, "libraryfolders.vdf: a \"}\" closes no block"},
      {"a block without a key", "{ \"path\" \"/x\" }", {}, "libraryfolders.vdf: a block has no key"},
      {"a key at the end", "\"libraryfolders\" { \"0\" { \"path\" } }", {},
       "libraryfolders.vdf: the key \"path\" has no value"},
      {"a backslash ends the file", "\"libraryfolders\" { \"path\" \"\\", {}, "libraryfolders.vdf: a quoted text is not closed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result<KeyValueNode> file = parseKeyValues(c.text);
    if (!c.fault.empty()) {
      ASSERT_FALSE(file.ok());
      EXPECT_EQ(file.fault(), (Fault{FaultKind::Damaged, c.fault}));
      continue;
    }
    ASSERT_TRUE(file.ok()) << file.fault().detail;
    EXPECT_EQ(libraryFolders(file.value()), c.folders);
  }
}

TEST(LibraryFolders, EveryCutOfAValidFileReadsOrIsDamaged) {
  const std::string text = "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/a\\\\b\"\n\t}\n}\n";
  ASSERT_TRUE(parseKeyValues(text).ok());
  for (size_t cut = 0; cut < text.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Result<KeyValueNode> file = parseKeyValues(text.substr(0, cut));
    // Only the empty text and a cut after the last brace read.
    if (!file.ok()) {
      EXPECT_EQ(file.fault().kind, FaultKind::Damaged);
    }
    EXPECT_EQ(file.ok(), cut == 0 || cut >= text.size() - 1) << text.substr(0, cut);
  }
}

}  // namespace
}  // namespace vh
