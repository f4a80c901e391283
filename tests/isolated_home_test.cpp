#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vh {
namespace {

TEST(IsolatedHome, EachTestHasAnEmptyHomeOfItsOwnAndAPrefixInsideIt) {
  const char* home = std::getenv("HOME");
  const char* prefix = std::getenv("WINEPREFIX");
  ASSERT_NE(home, nullptr);
  ASSERT_NE(prefix, nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(home)) << home;
  EXPECT_EQ(std::string(prefix), std::string(home) + "/.wine");
  EXPECT_FALSE(std::filesystem::exists(prefix));
  if (const passwd* user = getpwuid(getuid())) {
    EXPECT_STRNE(home, user->pw_dir);
  }
}

}  // namespace
}  // namespace vh
