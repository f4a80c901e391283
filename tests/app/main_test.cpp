// The real vhpatch program, run as a player or translator would run it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

// A copy of the program in a folder of its own, as a player would have it.
struct ProgramFolder {
  ProgramFolder() {
    std::filesystem::copy_file(test::binaryPath("vhpatch"), dir / "vhpatch");
    std::filesystem::permissions(dir / "vhpatch", std::filesystem::perms::owner_all);
  }
  test::CommandResult run(const std::string& args, const std::string& from, const std::string& input = "") {
    return test::runCommand("cd '" + from + "' && VHPATCH_UI=terminal VHPATCH_DEBUG=1 '" + (dir / "vhpatch") + "' " + args,
                            input);
  }
  TempDir dir;
};

TEST(VhpatchProgram, WorksInItsOwnFolderWhereverItIsStartedFrom) {
  ProgramFolder program;
  TempDir elsewhere;
  const auto result = program.run("", elsewhere.path());
  const std::string real = std::filesystem::canonical(program.dir.path()).string();
  EXPECT_NE(result.err.find("working folder: " + real + "\n"), std::string::npos) << result.err;
}

TEST(VhpatchProgram, ModeWordInCapitalsSelectsTheSameMode) {
  // Each in a folder of its own: the package the first builds would change
  // what the second does.
  ProgramFolder lowerFolder, upperFolder;
  const auto lower = lowerFolder.run("make", lowerFolder.dir.path());
  const auto upper = upperFolder.run("MAKE", upperFolder.dir.path());
  EXPECT_EQ(lower.status, upper.status);
  EXPECT_EQ(lower.out, upper.out);
  EXPECT_NE(upper.err.find("mode word: \"make\""), std::string::npos) << upper.err;
}

}  // namespace
}  // namespace vh
