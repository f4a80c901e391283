#include "formats/scene_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/files.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

std::string entryOf(Reporter& report, const std::string& scene, const std::string& data) {
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  out.writeString("before|");  // entries are appended to what is there
  EXPECT_EQ(writeSceneEntry(out, scene, report, data), 1);
  return buffer->toString().substr(7);
}

std::string listOf(Reporter& report, const std::string& data) {
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  writeSceneList(out, report, data);
  return buffer->toString();
}

class SceneListTest : public ::testing::Test {
 protected:
  void index(const std::string& file, const std::string& text) { test::writeFile(dir / ("data/" + file), text); }
  std::string data() const { return dir / "data/"; }
  TempDir dir;
  RecordingHost recording;
  void SetUp() override { test::makeFolders(dir / "data"); }
};

TEST(ArchivePaths, LongSceneNamesLiveUnderStatic) {
  EXPECT_EQ(sceneArchivePath("Forest"), "Forest/Forest.xarc");
  EXPECT_EQ(subSceneArchivePath("Forest", "03"), "Forest/03/03.xarc");
  EXPECT_EQ(sceneArchivePath("Gardens"), "static/Gardens/Gardens.xarc");
  EXPECT_EQ(subSceneArchivePath("Gardens", "7"), "static/Gardens/7/7.xarc");
  EXPECT_EQ(sceneFolderPrefix("\xC4\xE3\xBA\xC3\xC4\xE3\xBA"), "static/");  // seven bytes
}

TEST_F(SceneListTest, TheIndexReaderReturnsArchivesOrAFaultAndShowsNothing) {
  index("Forest.orz", "id=77\n-sub-\nid=03\n-records-\nid=04\n");
  const auto read = readSceneIndex("Forest", data() + "Forest.orz");
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.value(), (std::vector<SceneArchive>{{"99", "Forest/Forest.xarc"}, {"03", "Forest/03/03.xarc"}}));

  index("Harbor.orz", "-sub-\nid=..\nid=05\n");
  const auto refused = readSceneIndex("Harbor", data() + "Harbor.orz");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.fault(), (Fault{FaultKind::Damaged, "Harbor/../...xarc"}));

  // A small index is read whole, a large one a line at a time: alike.
  for (const size_t padding : {size_t{0}, size_t{200'000}}) {
    index("Mill.orz", "-sub-\nid=05\n" + std::string(padding, '#') + "\nid=06\n-records-\nid=07\n");
    const auto mill = readSceneIndex("Mill", data() + "Mill.orz");
    ASSERT_TRUE(mill.ok()) << padding;
    EXPECT_EQ(mill.value(), (std::vector<SceneArchive>{
                                {"99", "Mill/Mill.xarc"}, {"05", "Mill/05/05.xarc"}, {"06", "Mill/06/06.xarc"}}))
        << padding;
  }

  const auto missing = readSceneIndex("Castle", data() + "Castle.orz");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.fault().kind, FaultKind::CannotOpen);
  EXPECT_TRUE(recording.events.empty());
}

TEST_F(SceneListTest, ExactBytesOfAnEntry) {
  index("Forest.orz",
        "scene=Forest\r\n"
        "id=77\r\n"  // before "-sub-": ignored
        "-sub-\r\n"
        "id=03\r\n"
        "name=ignored\r\n"
        "id=1A\n"  // a bare LF line end reads alike
        "-records-\r\n"
        "id=55\r\n");
  EXPECT_EQ(entryOf(recording, "Forest", data()),
            "scene=Forest\r\n"
            "sub=99\r\n"
            "path=Forest/Forest.xarc\r\n"
            "sub=03\r\n"
            "path=Forest/03/03.xarc\r\n"
            "sub=1A\r\n"
            "path=Forest/1A/1A.xarc\r\n"
            ">>\r\n");
}

TEST_F(SceneListTest, SevenCharacterScenesAndIndexesWithoutSubScenes) {
  index("Gardens.orz", "-sub-\nid=02\n");
  EXPECT_EQ(entryOf(recording, "Gardens", data()),
            "scene=Gardens\r\nsub=99\r\npath=static/Gardens/Gardens.xarc\r\n"
            "sub=02\r\npath=static/Gardens/02/02.xarc\r\n>>\r\n");
  index("Lone.orz", "scene=Lone\nid=01\n");
  EXPECT_EQ(entryOf(recording, "Lone", data()), "scene=Lone\r\nsub=99\r\npath=Lone/Lone.xarc\r\n>>\r\n");
  index("Empty.orz", "");
  EXPECT_EQ(entryOf(recording, "Empty", dir / "data"), "scene=Empty\r\nsub=99\r\npath=Empty/Empty.xarc\r\n>>\r\n");
}

TEST_F(SceneListTest, AnIndexThatCannotBeOpenedGivesNoEntry) {
  test::makeFolders(dir / "data/Folder.orz");  // listed, but no file
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  EXPECT_EQ(writeSceneEntry(out, "Folder", recording, data()), 0);
  EXPECT_EQ(writeSceneEntry(out, "Missing", recording, data()), 0);
  EXPECT_EQ(buffer->size(), 0u);
  EXPECT_EQ(listOf(recording, data()), "");
  EXPECT_EQ(recording.texts(RecordingHost::Kind::Debug).size(), 3u);
  EXPECT_TRUE(recording.messages().empty());
}

TEST_F(SceneListTest, AnIndexLeadingOutOfTheGameFolderIsRefusedWhole) {
  struct Case {
    std::string file, text, path;
  };
  const std::vector<Case> cases = {
      {"Forest.orz", "-sub-\nid=01\nid=..\n", "Forest/../...xarc"},
      {"Forest.orz", "-sub-\nid=../../outside\n", "Forest/../../outside/../../outside.xarc"},
      {"Forest.orz", "-sub-\r\nid=..\\..\\x\r\n", "Forest/..\\..\\x/..\\..\\x.xarc"},
      {"C:evil.orz", "", "C:evil/C:evil.xarc"},
  };
  for (const Case& c : cases) {
    index(c.file, c.text);
    auto buffer = std::make_shared<ByteBuffer>();
    BufferStream out(buffer);
    EXPECT_EQ(writeSceneList(out, recording, data()), 0) << c.path;
    EXPECT_EQ(buffer->size(), 0u) << c.path;  // not even the lines before the bad one
    EXPECT_EQ(recording.messages().back(), "refused archive path outside the game folder:" + c.path);
    unlink((dir / ("data/" + c.file)).c_str());
  }
  EXPECT_EQ(recording.messages().size(), cases.size());
  // Dots inside a name lead nowhere.
  index("Forest.orz", "-sub-\nid=a..b\n");
  EXPECT_EQ(entryOf(recording, "Forest", data()),
            "scene=Forest\r\nsub=99\r\npath=Forest/Forest.xarc\r\nsub=a..b\r\npath=Forest/a..b/a..b.xarc\r\n>>\r\n");
}

TEST_F(SceneListTest, ListTakesOrzFilesInFileSystemOrder) {
  index("Forest.orz", "-sub-\nid=01\n");
  index("Gardens.ORZ", "");
  index("Castle.orz", "-sub-\nid=02\nid=03\n");
  index("notes.txt", "-sub-\nid=09\n");
  index("two.dots.orz", "");
  index("noext", "");
  test::makeFolders(dir / "data/sub");
  std::string expected;
  for (const std::string& name : listFolder(data())) {
    if (name == "Forest.orz") expected += entryOf(recording, "Forest", data());
    if (name == "Gardens.ORZ") expected += "scene=Gardens\r\nsub=99\r\npath=static/Gardens/Gardens.xarc\r\n>>\r\n";
    if (name == "Castle.orz") expected += entryOf(recording, "Castle", data());
  }
  const std::string list = listOf(recording, data());
  EXPECT_EQ(list, expected);
  EXPECT_NE(list.find("scene=Gardens\r\n"), std::string::npos);
  EXPECT_EQ(list.find("two"), std::string::npos);
  EXPECT_EQ(list.find("notes"), std::string::npos);
}

TEST_F(SceneListTest, EmptyOrMissingDataFolderGivesAnEmptyList) {
  EXPECT_EQ(listOf(recording, data()), "");
  EXPECT_EQ(listOf(recording, dir / "nowhere/"), "");
}

TEST_F(SceneListTest, DefaultFolderIsDataInTheWorkingDirectory) {
  index("Abc.orz", "-sub-\nid=05\n");
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  writeSceneList(out, recording);
  EXPECT_EQ(chdir(previous), 0);
  EXPECT_EQ(buffer->toString(), "scene=Abc\r\nsub=99\r\npath=Abc/Abc.xarc\r\nsub=05\r\npath=Abc/05/05.xarc\r\n>>\r\n");
}

}  // namespace
}  // namespace vh
