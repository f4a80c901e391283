// fuzz/run, with a stand-in for a fuzz target: what counts as a fault, and
// what a fault prints for a machine whose build tree will be gone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace vh {
namespace {

// A stand-in target. Fuzzing (it is given an artifact prefix), it exits with
// `fuzzingStatus`; unless that is 0 it first leaves one input, "x", and says
// what libFuzzer says when it ends on `fuzzingEnds`. Run again on that input
// alone, it exits with `rerunStatus`.
std::string standIn(const std::string& fuzzingEnds, int fuzzingStatus, int rerunStatus) {
  return "#!/bin/bash\n"
         "for a in \"$@\"; do case $a in -artifact_prefix=*) prefix=${a#-artifact_prefix=};; esac; done\n"
         "if [ -n \"${prefix:-}\" ]; then\n"
         "  echo 'stat::number_of_executed_units: 1234'\n"
         "  [ " + std::to_string(fuzzingStatus) + " -eq 0 ] && exit 0\n"
         "  printf x > \"${prefix}unit-1\"\n"
         "  echo \"Test unit written to ${prefix}unit-1\"\n"
         "  echo 'SUMMARY: libFuzzer: " + fuzzingEnds + "'\n"
         "  exit " + std::to_string(fuzzingStatus) + "\n"
         "fi\n"
         "exit " + std::to_string(rerunStatus) + "\n";
}

struct RunCase {
  const char* name;
  std::string fuzzingEnds;
  int fuzzingStatus;
  int rerunStatus;
  int status;                     // of fuzz/run
  std::vector<std::string> said;  // parts of what it must print
  bool unitKeptAsFault;
};

const RunCase kRunCases[] = {
    {"Clean", "", 0, 0, 0, {"1234 executions  clean", "0 crashes"}, false},
    {"Crash", "deadly signal", 77, 0, 1,
     {"FAULT", "SUMMARY: libFuzzer: deadly signal", "unit-1 (1 bytes, base64): eA==", "1 crashes"}, true},
    // The input is as slow on its own: a real hang.
    {"TimeoutThatComesBack", "timeout", 70, 70, 1, {"FAULT", "unit-1 (1 bytes, base64): eA==", "1 crashes"}, true},
    // The input runs in time on its own: the machine stood still.
    {"TimeoutThatDoesNotComeBack", "timeout", 70, 0, 0,
     {"clean (a timeout that did not come back when its input ran again)", "0 crashes"}, false},
};

class FuzzRun : public testing::TestWithParam<RunCase> {};

TEST_P(FuzzRun, CountsAFaultOnlyWhenItsInputFaultsAgainAndPrintsThatInput) {
  const RunCase& c = GetParam();
  test::TempDir dir;
  std::filesystem::create_directories(dir / "fuzz/corpus/one");
  std::filesystem::create_directories(dir / "the build");
  std::filesystem::copy_file(std::string(VH_SOURCE_DIR) + "/fuzz/run", dir / "fuzz/run");
  test::writeFile(dir / "fuzz/corpus/one/seed", "seed");
  test::writeFile(dir / "the build/one_fuzz", standIn(c.fuzzingEnds, c.fuzzingStatus, c.rerunStatus));
  std::filesystem::permissions(dir / "the build/one_fuzz", std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  const auto ran = test::runCommand("'" + (dir / "fuzz/run") + "' '" + (dir / "the build") + "' 1");
  EXPECT_EQ(ran.status, c.status) << ran.out << ran.err;
  for (const std::string& part : c.said) {
    EXPECT_NE(ran.out.find(part), std::string::npos) << part << "\n" << ran.out << ran.err;
  }
  EXPECT_EQ(std::filesystem::exists(dir / "the build/faults-one/unit-1"), c.unitKeptAsFault);
}

INSTANTIATE_TEST_SUITE_P(Endings, FuzzRun, testing::ValuesIn(kRunCases),
                         [](const testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vh
