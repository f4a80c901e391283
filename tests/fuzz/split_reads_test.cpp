// Readers must not depend on how their bytes arrive: those over a byte span
// are run on every prefix of every seed, and those fed by a stream read the
// same from one whole buffer as from a stream handing out one byte a read.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/files.h"
#include "common/report.h"
#include "common/stream.h"
#include "fuzz/fuzz_targets.h"
#include "package/patch.h"
#include "support/wine_hive.h"
#include "support/zip_directory.h"
#include "tests/test_support.h"
#include "translation/trz.h"

namespace vh {
namespace {

std::vector<std::string> seeds(const std::string& corpus) {
  const std::string folder = std::string(VH_SOURCE_DIR) + "/fuzz/corpus/" + corpus;
  std::vector<std::string> names = listFolder(folder, true);
  std::sort(names.begin(), names.end());
  std::vector<std::string> out;
  for (const std::string& name : names) out.push_back(test::readFile(folder + "/" + name));
  return out;
}

// The targets whose readers take a byte span (the archive's truncations are
// walked by its own tests); each target traps on any fault it finds.
TEST(SplitReadsTest, EveryPrefixOfEverySeedIsReadWithoutFault) {
  const std::vector<std::string> spanReaders = {"trz", "bmp", "jpeg", "xmg_decode", "xmg_encode", "zip_walk"};
  for (const fuzz::NamedTarget& target : fuzz::allTargets()) {
    if (std::find(spanReaders.begin(), spanReaders.end(), target.corpus) == spanReaders.end()) continue;
    SCOPED_TRACE(target.corpus);
    const std::vector<std::string> all = seeds(target.corpus);
    ASSERT_FALSE(all.empty());
    for (const std::string& seed : all) {
      for (size_t cut = 0; cut <= seed.size(); ++cut) {
        ASSERT_EQ(target.run(reinterpret_cast<const uint8_t*>(seed.data()), cut), 0) << "cut at " << cut;
      }
    }
  }
}

// One byte per read, whatever was asked for.
class TrickleStream final : public Stream {
 public:
  explicit TrickleStream(std::string bytes) : bytes_(std::move(bytes)) {}
  int64_t position() const override { return position_; }
  int64_t size() const override { return static_cast<int64_t>(bytes_.size()); }
  void seek(int64_t position) override { position_ = std::max<int64_t>(position, 0); }
  void write(const void*, size_t) override { throw StreamError(kWriteError); }

 protected:
  size_t readSome(void* destination, size_t count) override {
    if (count == 0 || position_ >= size()) return 0;
    *static_cast<char*>(destination) = bytes_[static_cast<size_t>(position_++)];
    return 1;
  }

 private:
  std::string bytes_;
  int64_t position_ = 0;
};

std::string entryText(const tTransRecord& e) {
  return e.scnId + "|" + std::to_string(e.subId) + "|" + std::to_string(e.recId) + "|" + std::to_string(e.typeId) +
         "|" + std::to_string(e.length) + "|" + e.value + "|" + std::to_string(e.overlongValue) + "\n";
}

struct StreamReader {
  const char* name;
  const char* corpus;
  // What the reader made of the stream, as text to compare.
  std::function<std::string(Stream&)> read;
};

const std::vector<StreamReader>& streamReaders() {
  static const std::vector<StreamReader> readers = {
      {"translation table", "trz",
       [](Stream& in) {
         tTrz trz;
         trz.open(in);
         std::string text;
         for (const tTransRecord& e : trz.records) text += entryText(e);
         return text;
       }},
      {"list lines", "package_lists",
       [](Stream& in) {
         std::string text;
         while (!in.atEnd()) text += in.readLine() + "\n";
         return text;
       }},
      {"add-on record", "package_lists",
       [](Stream& in) {
         StandardErrorReporter report;
         tPatch patch(report);
         return entryText(patch.readAddonRecord(in));
       }},
      {"zip local headers", "zip_walk",
       [](Stream& in) {
         auto list = TZipFileList::create(&in, 1, 1);
         std::string text;
         for (const SZipFileEntryPtr& e : list->FileList) {
           text += e->zipFileName + "|" + std::to_string(e->fileDataPosition) + "\n";
         }
         return text;
       }},
      {"registry file", "wine_registry",
       [](Stream& in) {
         const HiveText hive = splitHiveText(in.readRest());
         std::string text = hive.endsWithNewline ? "ends with LF\n" : "no LF at the end\n";
         for (const std::string& line : hive.lines) text += line + "\n";
         return text;
       }},
  };
  return readers;
}

void PrintTo(const StreamReader& reader, std::ostream* out) { *out << reader.name; }

class OneByteReadsTest : public ::testing::TestWithParam<StreamReader> {};

TEST_P(OneByteReadsTest, ReadAlikeFromAWholeBufferAndOneByteAtATime) {
  const StreamReader& reader = GetParam();
  const std::vector<std::string> all = seeds(reader.corpus);
  ASSERT_FALSE(all.empty());
  bool readSomething = false;
  for (const std::string& seed : all) {
    MemoryStream whole(static_cast<const void*>(seed.data()), seed.size());
    TrickleStream trickle(seed);
    const std::string expected = reader.read(whole);
    readSomething = readSomething || !expected.empty();
    EXPECT_EQ(reader.read(trickle), expected);
  }
  EXPECT_TRUE(readSomething);
}

INSTANTIATE_TEST_SUITE_P(Readers, OneByteReadsTest, ::testing::ValuesIn(streamReaders()),
                         [](const ::testing::TestParamInfo<StreamReader>& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace vh
