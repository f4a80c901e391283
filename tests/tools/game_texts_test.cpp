// A working tree's translations as the tools read them.
#include "tools/game_texts.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace vh {
namespace {

// The translator's own text is carried on whole by export --from and counted
// by stats, however long; only the installer skips a value it cannot write.
TEST(TreeTranslations, AreReadWholeHoweverLong) {
  test::TempDir tree;
  test::makeFolders(tree / "trans");
  for (const size_t length : {size_t{65'535}, size_t{65'536}, size_t{300'000}}) {
    SCOPED_TRACE(length);
    const std::string value(length, 'x');
    test::writeFile(tree / "trans/Docks.trz", "id=Docks010203\ntype=speech\nvalue=" + value + "\n>>\n");
    tool::TreeTranslations found;
    std::string file;
    ASSERT_TRUE(tool::readTreeTranslations(tree.path(), "Docks", found, file));
    EXPECT_EQ(file, tree / "trans/Docks.trz");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found.begin()->second == value);
  }
}

}  // namespace
}  // namespace vh
