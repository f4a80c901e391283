#include "tools/sample_game.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "common/byte_reader.h"
#include "common/files.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "tests/recording_desktop.h"
#include "tests/test_support.h"
#include "translation/trz.h"
#include "xmg/xmg.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::vector<std::string> archivesUnder(const std::string& game) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(game)) {
    if (entry.path().extension() == ".xarc") found.push_back(entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

class SampleGameTest : public ::testing::Test {
 protected:
  void SetUp() override { summary = writeSampleGame(dir.path(), SampleGameOptions{}); }
  TempDir dir;
  SampleGameSummary summary;
  RecordingDesktop quiet;
  ScopedDesktop installed{quiet};
};

TEST_F(SampleGameTest, EveryArchiveOpensAndSavesBackByteForByte) {
  const auto archives = archivesUnder(dir / "game");
  EXPECT_EQ(static_cast<int>(archives.size()), summary.archives + 1);  // and x.xarc
  for (const std::string& path : archives) {
    tXARC archive;
    ASSERT_EQ(archive.open(path), 1) << path;
    ASSERT_NE(archive.getXRC(), nullptr) << path;
    EXPECT_EQ(test::saved(archive), test::readFile(path)) << path;
  }
  EXPECT_TRUE(fileExists(dir / "game/static/Lighthouse/Lighthouse.xarc"));
  EXPECT_TRUE(fileExists(dir / "game/Inn/Inn.xarc"));
}

TEST_F(SampleGameTest, EverySceneArchiveHoldsAPictureTheCodecReads) {
  int pictures = 0;
  for (const std::string& path : archivesUnder(dir / "game")) {
    tXARC archive;
    ASSERT_EQ(archive.open(path), 1) << path;
    const auto member = archive.findFile("scene.xmg");
    // Only a scene's own archive has one; sub-scene archives are numbered.
    const std::string stem = fs::path(path).stem().string();
    const bool sceneOwn = stem != "x" && stem.find_first_not_of("0123456789") != std::string::npos;
    EXPECT_EQ(member != nullptr, sceneOwn) << path;
    if (!member) continue;
    ++pictures;
    MemoryStream in(member->bank->data(), member->bank->size());
    tXMGLoader loader;
    const PixelMap picture = loader.toPixmap(in);
    EXPECT_GE(picture.width(), 40);
    EXPECT_GE(picture.height(), 30);
    // The cut-out comes back in the mask colour exactly; the rest is not.
    int mask = 0;
    for (int y = 0; y < picture.height(); ++y) {
      for (int x = 0; x < picture.width(); ++x) mask += (picture.getPixel(x, y) & 0xFFFFFF) == 0x00FFFF;
    }
    EXPECT_GT(mask, 0) << path;
    EXPECT_LT(mask, picture.width() * picture.height()) << path;
  }
  EXPECT_EQ(pictures, SampleGameOptions{}.scenes);
}

TEST_F(SampleGameTest, GlobalCarriesTheHeroinesRecord) {
  tXARC global;
  ASSERT_EQ(global.open(dir / "game/Global/Global.xarc"), 1);
  const auto records = global.getXRC()->getRecordArray();
  ASSERT_GT(records.size(), 4243u);
  EXPECT_EQ(records[4243]->data.type1, 8);
  EXPECT_EQ(records[4243]->data.type2, 1);
  EXPECT_EQ(records[4243]->data.title.size(), 5u);
}

// The layout each kind word rewrites must be there in the addressed record.
bool fits(int typeId, const tRecordData& data) {
  auto embedded = [&](size_t prefix) {
    ByteReader text(std::string_view(data.subString));
    if (!text.skip(prefix)) return false;
    const auto length = text.tryU16();
    return length && text.holds(*length, 1);
  };
  switch (typeId) {
    case 1: return data.getType() == 1;
    case 3: return data.getType() == 3;
    case 5: return data.getType() == 5;
    case 2: return data.getType() == 2 && embedded(0);
    case 4: return data.getType() == 4 && embedded(66);
    case 100: return embedded(102);
    default: return false;
  }
}

TEST_F(SampleGameTest, EveryTranslationEntryAddressesARecordOfAFittingKind) {
  int entries = 0;
  std::set<int> kinds;
  bool capitalTrz = false;
  // Opened once each: a scene's entries address few archives, Global's
  // thousands of entries one large one.
  struct Opened {
    tXARC archive;
    std::vector<tRecordPtr> records;
  };
  std::map<std::string, std::unique_ptr<Opened>> archives;
  for (const std::string& name : listFolder(dir / "worktree/trans", true)) {
    if (tXARC::getExtName(name) != "trz") continue;
    capitalTrz = capitalTrz || name.find(".TRZ") != std::string::npos;
    const std::string scene = name.substr(0, name.size() - 4);
    const auto table = tTrz::Load(dir / ("worktree/trans/" + name));
    for (const tTransRecord& entry : table->records) {
      const std::string prefix = scene.size() > 6 ? "static/" : "";
      const std::string path = entry.subId == 99 ? prefix + scene + "/" + scene + ".xarc"
                                                 : prefix + scene + "/" + std::to_string(entry.subId) + "/" +
                                                       std::to_string(entry.subId) + ".xarc";
      std::unique_ptr<Opened>& opened = archives[path];
      if (!opened) {
        opened = std::make_unique<Opened>();
        ASSERT_EQ(opened->archive.open(dir / ("game/" + path)), 1) << path;
        opened->records = opened->archive.getXRC()->getRecordArray();
      }
      const auto& records = opened->records;
      ASSERT_LT(entry.recId, static_cast<int>(records.size()));
      EXPECT_EQ(entry.scnId, scene);
      EXPECT_TRUE(fits(entry.typeId, records[static_cast<size_t>(entry.recId)]->data))
          << path << " record " << entry.recId << " kind " << entry.typeId;
      kinds.insert(entry.typeId);
      ++entries;
    }
  }
  EXPECT_EQ(entries, summary.translationEntries);
  EXPECT_EQ(kinds, (std::set<int>{1, 2, 3, 4, 5, 100}));
  EXPECT_TRUE(capitalTrz);
}

TEST(SampleGame, TheSameSeedGivesTheSameBytes) {
  TempDir a, b, c;
  writeSampleGame(a.path(), SampleGameOptions{});
  writeSampleGame(b.path(), SampleGameOptions{});
  SampleGameOptions other;
  other.seed = 2;
  writeSampleGame(c.path(), other);
  const auto left = archivesUnder(a / "game");
  ASSERT_FALSE(left.empty());
  bool anyDiffers = false;
  for (const std::string& path : left) {
    const std::string relative = fs::relative(path, a.path()).string();
    EXPECT_EQ(test::readFile(path), test::readFile(b / relative)) << relative;
    if (fileExists(c / relative)) anyDiffers = anyDiffers || test::readFile(path) != test::readFile(c / relative);
  }
  EXPECT_TRUE(anyDiffers);
  EXPECT_EQ(test::readFile(a / "worktree/trans/Global.trz"), test::readFile(b / "worktree/trans/Global.trz"));
}

TEST(VhtoolDump, ListsMembersAndRecordsAndShowsDifferences) {
  TempDir dir;
  writeSampleGame(dir.path(), SampleGameOptions{});
  const std::string tool = "LC_ALL=C.UTF-8 '" + test::binaryPath("vhtool") + "' dump ";
  const auto listed = test::runCommand(tool + "'" + (dir / "game/Inn/1/1.xarc") + "'");
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("ambient.WAV"), std::string::npos);
  EXPECT_NE(listed.out.find("Inn010001"), std::string::npos) << listed.out;

  // A translated copy: one speech record gets GBK text.
  tXARC archive;
  {
    RecordingDesktop quiet;
    ScopedDesktop installed(quiet);
    ASSERT_EQ(archive.open(dir / "game/Inn/1/1.xarc"), 1);
  }
  tTransRecord entry;
  entry.setId("Inn010002");
  entry.setType("speech");
  entry.value = "\xC4\xE3\xBA\xC3";
  entry.doReplace(archive.getXRC()->getRecordArray()[2]->data);
  test::makeFolders(dir / "after/Inn/1");
  {
    auto out = FileStream::open(dir / "after/Inn/1/1.xarc", FileMode::Write);
    archive.save(*out);
  }
  const auto diff = test::runCommand(tool + "--diff '" + (dir / "game/Inn/1/1.xarc") + "' '" +
                                     (dir / "after/Inn/1/1.xarc") + "'");
  ASSERT_EQ(diff.status, 0) << diff.err;
  EXPECT_NE(diff.out.find("Inn010002\n  before:"), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("text \"\xE4\xBD\xA0\xE5\xA5\xBD\""), std::string::npos) << diff.out;  // 你好 in UTF-8
  EXPECT_NE(diff.out.find("1 of "), std::string::npos) << diff.out;

  const auto missing = test::runCommand(tool + "'" + (dir / "none.xarc") + "'");
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.err.find("failed to read:"), std::string::npos);
}

}  // namespace
}  // namespace vh
