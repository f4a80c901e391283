// Every fuzz target run by the ordinary build over its committed seeds and
// over the inputs that once broke it (tests/malformed/<corpus>/). A target
// stops the process on a fault, so a regression fails this test loudly.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/files.h"
#include "fuzz/fuzz_targets.h"
#include "tests/test_support.h"

namespace vh {
namespace {

class FuzzReplayTest : public ::testing::TestWithParam<fuzz::NamedTarget> {};

TEST_P(FuzzReplayTest, SeedsAndFoundFaultsRunClean) {
  const fuzz::NamedTarget target = GetParam();
  const std::string seeds = std::string(VH_SOURCE_DIR) + "/fuzz/corpus/" + target.corpus;
  const std::string found = std::string(VH_SOURCE_DIR) + "/tests/malformed/" + target.corpus;
  ASSERT_FALSE(listFolder(seeds, true).empty()) << "no seeds in " << seeds;
  for (const std::string& folder : {seeds, found}) {
    std::vector<std::string> names = listFolder(folder, true);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      SCOPED_TRACE(folder + "/" + name);
      const std::string bytes = test::readFile(folder + "/" + name);
      EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplayTest, ::testing::ValuesIn(fuzz::allTargets()),
                         [](const ::testing::TestParamInfo<fuzz::NamedTarget>& info) {
                           return std::string(info.param.corpus);
                         });

}  // namespace
}  // namespace vh
