#include "app/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace vh {
namespace {

// A file is no terminal: no width of its own, no progress bars drawn over
// it (the terminal desktop then writes 80 columns and no bars).
TEST(Console, AFileIsNoTerminal) {
  const std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(file);
  EXPECT_EQ(terminalColumns(file.get()), std::nullopt);
  EXPECT_FALSE(drawsProgress(file.get()));
}

}  // namespace
}  // namespace vh
