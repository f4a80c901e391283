// Every image of the decoder's fuzz corpus, seeds and faults found alike,
// decoded by the ordinary build: a clean image or an XmgError, nothing else.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/files.h"
#include "tests/test_support.h"
#include "xmg/xmg.h"

namespace vh {
namespace {

TEST(XmgDecodeFuzzTest, EveryCorpusFileDecodesOrIsReportedAsDamage) {
  const std::string folder = std::string(VH_SOURCE_DIR) + "/fuzz/corpus/xmg";
  std::vector<std::string> names = listFolder(folder, true);
  std::sort(names.begin(), names.end());
  ASSERT_FALSE(names.empty()) << folder;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string bytes = test::readFile(folder + "/" + name);
    MemoryStream in(static_cast<const void*>(bytes.data()), bytes.size());
    tXMGLoader loader;
    try {
      const PixelMap image = loader.toPixmap(in);
      EXPECT_EQ(image.width(), loader.header->width);
      EXPECT_EQ(image.height(), loader.header->height);
    } catch (const XmgError&) {
    }
  }
}

}  // namespace
}  // namespace vh
