// The order in which an installation makes its files durable: an archive is
// renamed over the game file only after its pieces file is on disk (on
// Linux by one sync of the file system for the scene), renamed, and the
// backup folder synced once for the scene; and a game folder is synced only
// where the pieces of the version its file replaced are then dropped.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "install/patcher.h"
#include "support/registry_platform.h"
#include "tests/fake_file_system.h"
#include "tests/install/small_game.h"
#include "tests/recording_host.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kArchives = {"A/1/1.xarc", "A/A.xarc"};

// The pieces file that rebuilds the game file at `path` as it stands.
std::string piecesOf(const std::string& backup, const std::string& path) {
  for (const auto& entry : fs::directory_iterator(backup)) {
    if (test::readFile(entry.path()).find("\npath=" + path + "\n") != std::string::npos) return entry.path();
  }
  return "";
}

size_t indexOf(const std::vector<std::string>& events, const std::string& event) {
  return static_cast<size_t>(std::find(events.begin(), events.end(), event) - events.begin());
}

TEST(InstallOrder, ArchivesWaitForTheirPiecesAndGameFoldersAreSyncedOnlyWhereAVersionIsDropped) {
  struct Case {
    const char* name;
    bool overAnEarlierPackage;
    bool fileSystemSync;  // the platform syncs a whole file system at once
    std::set<std::string> gameFoldersSynced;  // relative to the game folder
  };
  const Case cases[] = {
      {"a first installation", false, true, {}},
      {"a package over an earlier one", true, true, {"A", "A/1"}},
      {"a first installation, each file synced alone", false, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SmallGame game;
    RecordingHost recording;
    test::FakeFileSystem files;
    files.noFileSystemSync = !c.fileSystemSync;
    const auto registry = WineRegistry::inMemory();
    tPatcher patcher(Services{recording, recording, files, *registry, ""});
    ASSERT_EQ(game.install(patcher), 1) << ::testing::PrintToString(recording.messages());
    if (c.overAnEarlierPackage) {
      const std::string other = test::writePackage(
          game.dir / "other.dat",
          {{"patchscene.lst", "scene=A\r\nsub=99\r\npath=A/A.xarc\r\nsub=1\r\npath=A/1/1.xarc\r\n>>\r\n"},
           {"trans/A.trz", "id=A990001\ntype=speech\nvalue=other\n>>\nid=A010002\ntype=speech\nvalue=two\n>>\n"},
           {"extra.lst", "readme.txt\r\n"},
           {"extra/readme.txt", "the other readme"}});
      files.durable.clear();
      ASSERT_TRUE(patcher.loadPatch(other));
      ASSERT_EQ(patcher.doReplace(), 1) << ::testing::PrintToString(recording.messages());
    }
    const std::vector<std::string>& events = files.durable;
    const std::string root = game.dir / "game/";
    const std::string backup = root + ".vhpatch-backup/";
    const std::string backupSync = "sync " + backup;
    for (const std::string& archive : kArchives) {
      SCOPED_TRACE(archive);
      EXPECT_NE(test::readFile(root + archive), game.original.at(archive));
      const size_t renamed = indexOf(events, "rename " + root + archive);
      const size_t pieces = indexOf(events, "rename " + piecesOf(backup, archive));
      ASSERT_LT(renamed, events.size()) << ::testing::PrintToString(events);
      ASSERT_LT(pieces, renamed) << ::testing::PrintToString(events);
      // The pieces file's bytes went to disk with the scene's other new
      // files before its rename, where the platform can sync them at once
      // (not Windows); else with its own sync.
#ifndef _WIN32
      const bool wholeSync = c.fileSystemSync;
#else
      const bool wholeSync = false;
#endif
      EXPECT_EQ(indexOf(events, "sync all " + backup) < pieces, wholeSync) << ::testing::PrintToString(events);
      // One sync of the backup folder between the scene's pieces and its
      // archives serves both.
      EXPECT_EQ(std::count(events.begin() + static_cast<std::ptrdiff_t>(pieces),
                           events.begin() + static_cast<std::ptrdiff_t>(renamed), backupSync),
                1)
          << ::testing::PrintToString(events);
    }
    EXPECT_EQ(std::count(events.begin(), events.end(), backupSync), 1) << ::testing::PrintToString(events);
    std::set<std::string> gameFolders;
    for (const std::string& event : events) {
      if (event.rfind("sync " + root, 0) == 0 && event != backupSync) gameFolders.insert(event.substr(5 + root.size()));
    }
    EXPECT_EQ(gameFolders, c.gameFoldersSynced) << ::testing::PrintToString(events);
  }
}

}  // namespace
}  // namespace vh
