#include "common/key_value.h"

#include <gtest/gtest.h>

namespace vh {
namespace {

TEST(KeyValue, SplitAndJoin) {
  // Split at the first "=", unless the line starts with one; nothing trimmed.
  const struct {
    const char* line;
    const char* key;
    const char* value;
  } cases[] = {
      {"id=03=x", "id", "03=x"},
      {"=03", "=03", ""},
      {"-sub-", "-sub-", ""},
      {" id = 4 ", " id ", " 4 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string key = "stale", value = "stale";
    splitKeyValue(c.line, key, value);
    EXPECT_EQ(key, c.key);
    EXPECT_EQ(value, c.value);
  }
  EXPECT_EQ(makeKeyValue("path", "a/b.xarc"), "path=a/b.xarc");
  EXPECT_EQ(makeKeyValue("", ""), "=");
}

}  // namespace
}  // namespace vh
