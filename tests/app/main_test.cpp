// The real vhpatch program, run as a player or translator would run it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/test_support.h"
#include "xmg/codec_level.h"

namespace vh {
namespace {

using test::TempDir;

// A copy of the program in a folder of its own, as a player would have it.
struct ProgramFolder {
  ProgramFolder() {
    std::filesystem::copy_file(test::binaryPath("vhpatch"), dir / "vhpatch");
    std::filesystem::permissions(dir / "vhpatch", std::filesystem::perms::owner_all);
  }
  // `environment`: more NAME=value words before the program.
  test::CommandResult run(const std::string& args, const std::string& from, const std::string& input = "",
                          const std::string& environment = "") {
    return test::runCommand("cd '" + from + "' && VHPATCH_UI=terminal VHPATCH_DEBUG=1 " + environment + " '" +
                                (dir / "vhpatch") + "' " + args,
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

// The image codec's level is taken from the environment before anything
// else happens; a request the machine cannot meet falls back to the best it
// has, with a debug line, and the run goes on.
TEST(VhpatchProgram, TheCodecLevelAskedForIsUsedOrFallsBackWithADebugLine) {
  ProgramFolder program;
  const std::string best = std::string(codecLevelName(usableCodecLevels().back()));
  const struct {
    const char* environment;
    std::string note;  // "" for none
    std::string level;
  } cases[] = {
      {"", "", best},
      {"VHPATCH_CODEC_LEVEL=baseline", "", "baseline"},
      {"VHPATCH_CODEC_LEVEL=fast", "VHPATCH_CODEC_LEVEL=\"fast\" is no level (baseline, v2, v3 or v4)", best},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.environment);
    const auto result = program.run("", program.dir.path(), "", c.environment);
    EXPECT_NE(result.err.find("codec level: " + c.level + "\n"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(c.note.empty() ? "VHPATCH_CODEC_LEVEL=" : c.note) != std::string::npos,
              !c.note.empty())
        << result.err;
    // The run went on to the package, which this folder does not have.
    EXPECT_EQ(result.status, 255) << result.out;
  }
}

}  // namespace
}  // namespace vh
