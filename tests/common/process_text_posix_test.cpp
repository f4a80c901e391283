#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "common/process_text.h"

namespace vh {
namespace {

// On Linux the arguments and the environment are bytes, passed through as
// they are, whether or not they are UTF-8.
TEST(ProcessText, ArgumentsPassThroughAsBytes) {
  const char* argv[] = {"vhpatch", "make", "\xC4\xE3", "", nullptr};
  EXPECT_EQ(utf8Arguments(4, argv), (std::vector<std::string>{"vhpatch", "make", "\xC4\xE3", ""}));
  EXPECT_EQ(utf8Arguments(2, argv), (std::vector<std::string>{"vhpatch", "make"}));
  EXPECT_TRUE(utf8Arguments(0, argv).empty());
  const char* cut[] = {"vhpatch", nullptr};  // argc beyond the terminating null
  EXPECT_EQ(utf8Arguments(3, cut), (std::vector<std::string>{"vhpatch"}));
}

TEST(ProcessText, EnvironmentValuesPassThroughAsBytes) {
  const struct {
    const char* value;
  } kCases[] = {{"/home/\xE6\xB8\xB8\xE6\x88\x8F"}, {"\xC4\xE3"}, {""}};
  for (const auto& c : kCases) {
    ASSERT_EQ(setenv("VH_TEST_FOLDER", c.value, 1), 0);
    EXPECT_EQ(environmentValue("VH_TEST_FOLDER"), c.value);
  }
  ASSERT_EQ(unsetenv("VH_TEST_FOLDER"), 0);
  EXPECT_EQ(environmentValue("VH_TEST_FOLDER"), std::nullopt);
}

}  // namespace
}  // namespace vh
