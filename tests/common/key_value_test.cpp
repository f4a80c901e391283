#include "common/key_value.h"

#include <gtest/gtest.h>

namespace vh {
namespace {

TEST(KeyValue, SplitAndJoin) {
  std::string key, value;
  splitKeyValue("id=03=x", key, value);
  EXPECT_EQ(key, "id");
  EXPECT_EQ(value, "03=x");
  splitKeyValue("=03", key, value);
  EXPECT_EQ(key, "=03");
  EXPECT_EQ(value, "");
  splitKeyValue("-sub-", key, value);
  EXPECT_EQ(key, "-sub-");
  EXPECT_EQ(value, "");
  splitKeyValue(" id = 4 ", key, value);
  EXPECT_EQ(key, " id ");
  EXPECT_EQ(value, " 4 ");
  EXPECT_EQ(makeKeyValue("path", "a/b.xarc"), "path=a/b.xarc");
  EXPECT_EQ(makeKeyValue("", ""), "=");
}

}  // namespace
}  // namespace vh
