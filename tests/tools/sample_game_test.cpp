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
#include "tests/recording_host.h"
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
  RecordingHost quiet;
};

TEST_F(SampleGameTest, EveryArchiveOpensAndSavesBackByteForByte) {
  const auto archives = archivesUnder(dir / "game");
  EXPECT_EQ(static_cast<int>(archives.size()), summary.archives + 1);  // and x.xarc
  for (const std::string& path : archives) {
    tXARC archive;
    ASSERT_EQ(archive.open(path, test::standardError()), 1) << path;
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
    ASSERT_EQ(archive.open(path, test::standardError()), 1) << path;
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
  ASSERT_EQ(global.open(dir / "game/Global/Global.xarc", test::standardError()), 1);
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
    const auto table = tTrz::Load(dir / ("worktree/trans/" + name), test::standardError());
    for (const tTransRecord& entry : table->records) {
      const std::string prefix = scene.size() > 6 ? "static/" : "";
      const std::string path = entry.subId == 99 ? prefix + scene + "/" + scene + ".xarc"
                                                 : prefix + scene + "/" + std::to_string(entry.subId) + "/" +
                                                       std::to_string(entry.subId) + ".xarc";
      std::unique_ptr<Opened>& opened = archives[path];
      if (!opened) {
        opened = std::make_unique<Opened>();
        ASSERT_EQ(opened->archive.open(dir / ("game/" + path), test::standardError()), 1) << path;
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

// A game of every shape, with its next version.
class SampleShapes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    SampleGameOptions options;
    options.shapes = options.secondVersion = true;
    summary_ = new SampleGameSummary(writeSampleGame(dir_->path(), options));
  }
  static void TearDownTestSuite() {
    delete summary_;
    delete dir_;
  }
  // The records of an archive of either version, opened once.
  const std::vector<tRecordPtr>& records(const std::string& game, const std::string& path) {
    auto& opened = opened_[game + "/" + path];
    if (!opened) {
      opened = std::make_unique<tXARC>();
      EXPECT_EQ(opened->open(*dir_ / (game + "/" + path), test::standardError()), 1) << path;
      cache_[game + "/" + path] = opened->getXRC()->getRecordArray();
    }
    return cache_[game + "/" + path];
  }
  static std::string archiveOf(const std::string& address) {
    tTransRecord at;
    at.setId(address);
    const std::string prefix = at.scnId.size() > 6 ? "static/" : "";
    if (at.subId == 99) return prefix + at.scnId + "/" + at.scnId + ".xarc";
    return prefix + at.scnId + "/" + std::to_string(at.subId) + "/" + std::to_string(at.subId) + ".xarc";
  }
  const tRecordData& record(const std::string& game, const std::string& address) {
    tTransRecord at;
    at.setId(address);
    return records(game, archiveOf(address)).at(static_cast<size_t>(at.recId))->data;
  }

  static TempDir* dir_;
  static SampleGameSummary* summary_;
  RecordingHost quiet;
  std::map<std::string, std::unique_ptr<tXARC>> opened_;
  std::map<std::string, std::vector<tRecordPtr>> cache_;
};

TempDir* SampleShapes::dir_ = nullptr;
SampleGameSummary* SampleShapes::summary_ = nullptr;

// Where each word's text stands, read byte by byte here: the title, or the
// 16-bit length and the text behind a fixed prefix.
std::optional<std::string> plantedAt(const tRecordData& data, const std::string& word) {
  if (word == "group" || word == "object" || word == "person") return data.title;
  const size_t prefix = word == "speech" ? 0 : word == "text" ? 66 : 102;
  ByteReader reader(std::string_view(data.subString));
  if (!reader.skip(prefix)) return std::nullopt;
  const auto length = reader.tryU16();
  if (!length) return std::nullopt;
  const auto text = reader.tryBytes(*length);
  return text ? std::optional<std::string>(std::string(*text)) : std::nullopt;
}

TEST_F(SampleShapes, EveryArchiveOfBothVersionsSavesBackByteForByte) {
  for (const char* game : {"game", "game2"}) {
    const auto archives = archivesUnder(*dir_ / game);
    EXPECT_EQ(static_cast<int>(archives.size()), summary_->archives + 1) << game;
    for (const std::string& path : archives) {
      tXARC archive;
      ASSERT_EQ(archive.open(path, test::standardError()), 1) << path;
      EXPECT_EQ(test::saved(archive), test::readFile(path)) << path;
    }
  }
}

TEST_F(SampleShapes, EveryPlantedTextStandsWhereItsWordWritesAndEveryShapeIsThere) {
  // word, the record's type bytes: how often each shape was planted.
  std::map<std::pair<std::string, int>, int> shapes;
  int twoLines = 0;
  for (const PlantedText& t : summary_->texts) {
    const tRecordData& data = record("game", t.address);
    EXPECT_EQ(plantedAt(data, t.word), t.text) << t.address << " " << t.word;
    shapes[{t.word, data.type1}]++;
    twoLines += t.text.find('\n') != std::string::npos;
  }
  for (const auto& [word, type1] : std::vector<std::pair<std::string, int>>{
           {"text2", 13}, {"text2", 50}, {"speech", 9}, {"text", 9}, {"speech", 23}, {"text", 21},
           {"object", 29}, {"object", 13}, {"object", 8}, {"text", 13}, {"speech", 29}}) {
    EXPECT_GT((shapes[{word, type1}]), 0) << word << " in a type " << type1 << " record";
  }
  EXPECT_GT(twoLines, 0);
  ASSERT_EQ(summary_->leftOut.size(), 1u);
  EXPECT_EQ(record("game", summary_->leftOut[0]).title, "Crowd");
  tXARC inn;
  ASSERT_EQ(inn.open(*dir_ / "game/Inn/Inn.xarc", test::standardError()), 1);
  EXPECT_NE(inn.findFile("\xB1\xB3\xBE\xB0.xmg"), nullptr);  // 背景 in GBK
}

TEST_F(SampleShapes, TheSecondVersionInsertsOneRecordAndEditsOneWord) {
  const SampleGameUpdate& u = summary_->update;
  ASSERT_EQ(u.archive, "Inn/Inn.xarc");
  EXPECT_EQ(u.inserted, "Inn990004");
  const auto& before = records("game", u.archive);
  const auto& after = records("game2", u.archive);
  ASSERT_EQ(after.size(), before.size() + 1);
  tTransRecord edited, moved;
  edited.setId(u.editedBefore);
  moved.setId(u.editedAfter);
  EXPECT_EQ(moved.recId, edited.recId + 1);
  EXPECT_EQ(plantedAt(before[static_cast<size_t>(edited.recId)]->data, "speech"), u.oldText);
  EXPECT_EQ(plantedAt(after[static_cast<size_t>(moved.recId)]->data, "speech"), u.newText);
  EXPECT_NE(u.oldText, u.newText);
  EXPECT_EQ(u.oldText.substr(u.oldText.find(' ')), u.newText.substr(u.newText.find(' ')));  // one word
  for (size_t i = 0; i < before.size(); ++i) {
    const size_t j = i < 4 ? i : i + 1;
    if (static_cast<int>(i) == edited.recId) continue;
    EXPECT_EQ(before[i]->data.title, after[j]->data.title) << i;
    EXPECT_EQ(before[i]->data.subString, after[j]->data.subString) << i;
  }
  // Every other file of the game is the same.
  for (const std::string& path : archivesUnder(*dir_ / "game")) {
    const std::string relative = fs::relative(path, *dir_ / "game").string();
    if (relative == u.archive) continue;
    EXPECT_EQ(test::readFile(path), test::readFile(*dir_ / ("game2/" + relative))) << relative;
  }
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
    RecordingHost quiet;
    ASSERT_EQ(archive.open(dir / "game/Inn/1/1.xarc", test::standardError()), 1);
  }
  tTransRecord entry;
  entry.setId("Inn010002");
  entry.setType("speech");
  entry.value = "\xC4\xE3\xBA\xC3";
  entry.doReplace(archive.getXRC()->getRecordArray()[2]->data, test::standardError());
  test::makeFolders(dir / "after/Inn/1");
  {
    auto out = FileStream::open(dir / "after/Inn/1/1.xarc", FileMode::Write);
    archive.save(*out);
  }
  const auto diff = test::runCommand(tool + "--diff '" + (dir / "game/Inn/1/1.xarc") + "' '" +
                                     (dir / "after/Inn/1/1.xarc") + "'");
  ASSERT_EQ(diff.status, 0) << diff.err;
  EXPECT_NE(diff.out.find("Inn010002\n  before:"), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("speech \"\xE4\xBD\xA0\xE5\xA5\xBD\""), std::string::npos) << diff.out;  // 你好 in UTF-8
  EXPECT_NE(diff.out.find("1 of "), std::string::npos) << diff.out;

  const auto missing = test::runCommand(tool + "'" + (dir / "none.xarc") + "'");
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.err.find("failed to read:"), std::string::npos);
}

}  // namespace
}  // namespace vh
