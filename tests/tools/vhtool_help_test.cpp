// vhtool COMMAND --help: every command prints its own part of the command
// list, then what stands alone without the README (its exit statuses at
// least), and ends with status 0, whatever else stands on the line, and
// does nothing else (no file is read or written).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "tests/test_support.h"

namespace vh {
namespace {

test::CommandResult vhtool(const std::string& args) {
  return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
}

TEST(VhtoolHelp, EveryCommandPrintsItsUsageAndRunsNothing) {
  const char* const kCommands[] = {"sample-game", "dump",  "extract", "xmg2png", "png2xmg", "export",
                                   "import",      "check", "stats",   "preview", "xarc",    "fingerprint"};
  // The list says what each command's help says: its line and the one below.
  const auto list = vhtool("--help");
  ASSERT_EQ(list.status, 0);
  std::map<std::string, std::string> usage;
  const std::vector<std::string> lines = split(list.out, '\n');
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (!lines[i].starts_with("  ") || lines[i].starts_with("   ") || lines[i].starts_with("  --")) continue;
    const std::string line = lines[i].substr(2);
    usage[line.substr(0, line.find(' '))] = "usage: vhtool " + line + "\n" + lines[i + 1] + "\n";
  }
  EXPECT_EQ(usage.size(), std::size(kCommands)) << list.out;

  test::TempDir dir;
  const std::string out = dir / "out";
  for (const char* command : kCommands) {
    ASSERT_TRUE(usage.count(command)) << command << " is not in the list";
    // Alone, after the command's own arguments, and where an argument would be.
    for (const std::string& args : {std::string("--help"), std::string("-h"), "'" + out + "' '" + out + "' --help",
                                    "-h '" + out + "'"}) {
      const auto help = vhtool(std::string(command) + " " + args);
      EXPECT_EQ(help.status, 0) << command << " " << args << "\n" << help.err;
      EXPECT_TRUE(help.out.starts_with(usage[command])) << command << " " << args << "\n" << help.out;
      EXPECT_NE(help.out.find("\nexit status: 0 "), std::string::npos) << command << " " << args;
      EXPECT_EQ(help.err, "") << command << " " << args;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(out));

  // What a translator needs without the README: the options, what is
  // skipped, the pictures' names.
  const struct {
    const char* command;
    std::vector<std::string> mentions;
  } kDetails[] = {
      {"export", {"--pot", "--from OLD_PO_DIR", "--old-game", "#| msgid", "ADDRESS|kind"}},
      {"import", {"--game GAME", "fuzzy", ".trz~", "nothing written: N problems"}},
      {"check", {"--glossary FILE", "--strict", "images/<scene>/<sub-scene>/<member>.png", ".trz~"}},
      {"stats", {"--po DIR", "--json", "chars_translated"}},
  };
  for (const auto& d : kDetails) {
    const std::string help = vhtool(std::string(d.command) + " --help").out;
    for (const std::string& mention : d.mentions) EXPECT_NE(help.find(mention), std::string::npos) << d.command << ": " << mention;
  }
}

}  // namespace
}  // namespace vh
