// The one-installation lock, the builder's claim and the console's stop on
// Windows. Locks are held by handle, so one process shows a second holder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/local_file_system.h"
#include "common/wide_text_win32.h"
#include "install/install_guard.h"
#include "package/build_lock.h"
#include "tests/test_support.h"

namespace vh {
namespace {

const std::string kChinese = "\xE6\xB8\xB8\xE6\x88\x8F";  // 游戏

class LockWin32Test : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(files.makeFolder(game)); }
  std::string content(const std::string& path) {
    const auto bytes = readWholeFile(files, path);
    return bytes ? bytes.value() : "<unreadable>";
  }
  test::TempDir dir;
  LocalFileSystem files;
  std::string game = dir / kChinese;
};

TEST_F(LockWin32Test, OneInstallationHoldsAGameFolderAtATime) {
  for (const std::string& folder : {game, game + "/"}) {
    auto first = GameFolderLock::take(folder);
    ASSERT_NE(first, nullptr) << folder;
    EXPECT_EQ(GameFolderLock::take(game), nullptr) << folder;
    EXPECT_EQ(GameFolderLock::take(game + "/"), nullptr) << folder;
    first.reset();
    // Gone with its holder: the game folder is as it was.
    EXPECT_TRUE(files.list(game).empty()) << folder;
    EXPECT_NE(GameFolderLock::take(game), nullptr) << folder;
  }
}

// As the zip writer opens the package: truncated, for reading and writing,
// shared for reading only.
bool writeAsTheZipWriterDoes(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileW(wideText(path)->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool written = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
                       put == bytes.size();
  CloseHandle(file);
  return written;
}

TEST_F(LockWin32Test, OneBuildHoldsItsPackageAndAnInstallationRemovesOnlyAnUnheldOne) {
  const std::string building = game + "/patch.dat.building";
  const std::string package = game + "/patch.dat";
  for (const bool finished : {false, true}) {
    auto claim = BuildLock::take(building);
    ASSERT_NE(claim, nullptr);
    EXPECT_EQ(BuildLock::take(building), nullptr);
    EXPECT_FALSE(removeUnheldBuilding(building)) << "a build at work keeps its file";
    // The lock bars none of the builder's own writes, nor its rename.
    ASSERT_TRUE(writeAsTheZipWriterDoes(building, "package"));
    EXPECT_EQ(content(building), "package");
    if (finished) {
      ASSERT_TRUE(files.rename(building, package));
      EXPECT_EQ(content(package), "package");
    }
    claim.reset();
    // A killed build's file goes; after a finished one there is none.
    EXPECT_EQ(removeUnheldBuilding(building), !finished);
    EXPECT_EQ(files.status(building).kind, FileKind::Missing);
  }
}

// Ctrl-C raised on the console this test runs in. Without a display,
// Wine makes no console, and there is nothing to raise it on.
TEST(HeldSignalsWin32, CtrlCIsNotedAndDoesNotEndTheProcess) {
  HeldSignals signals;
  EXPECT_FALSE(signals.arrived());
  // A process started without a console makes one; Ctrl-C reaches this
  // one only if it has not been told to ignore it.
  if (!GetConsoleWindow()) AllocConsole();
  SetConsoleCtrlHandler(nullptr, FALSE);
  if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) GTEST_SKIP() << "no console to raise Ctrl-C on (error " << GetLastError() << ")";
  // The event comes on a thread of the system's.
  bool arrived = false;
  for (int wait = 0; wait < 200 && !arrived; ++wait) {
    Sleep(10);
    arrived = signals.arrived();
  }
  EXPECT_TRUE(arrived);
  EXPECT_TRUE(signals.arrived()) << "it stays noted";
}

}  // namespace
}  // namespace vh
