// The way back through the real vhpatch: the backup an installation keeps,
// `vhpatch uninstall` (also after a SIGKILL), a second package installed
// over the first, and the game-version check.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <thread>

#include "formats/xarc.h"
#include "formats/xrc.h"
#include "tests/recording_host.h"
#include "tests/app/installation.h"
#include "tests/app/recording_desktop.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

using test::tree;

void expectSameTree(const std::string& expected, const std::string& actual) {
  const auto want = tree(expected), got = tree(actual);
  for (const auto& [path, bytes] : want) {
    const auto found = got.find(path);
    EXPECT_TRUE(found != got.end() && found->second == bytes) << path << " is not as it was";
  }
  for (const auto& [path, bytes] : got) EXPECT_TRUE(want.count(path)) << path << " was left behind";
}

uint64_t sizeOf(const std::string& folder) {
  uint64_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) total += entry.file_size();
  }
  return total;
}

std::string backupOf(const Installation& setup) { return setup.game + "/.vhpatch-backup"; }

TEST(InstallBackup, UninstallPutsEveryFileBackAndRemovesWhatWasAdded) {
  struct Case {
    const char* name;
    bool fontBefore;  // the game already has the font.cfg an extra file overwrites
  };
  for (const Case c : {Case{"extra files added", false}, Case{"an extra file overwrites one", true}}) {
    SCOPED_TRACE(c.name);
    Installation setup;
    if (c.fontBefore) {
      test::writeFile(setup.game + "/font.cfg", "face=Old Serif\r\n");
      test::writeFile(setup.original + "/font.cfg", "face=Old Serif\r\n");
    }
    ASSERT_EQ(setup.vhpatch("makeandapply").status, 0);
    test::expectPatched(setup);
    // Only what rebuilds the originals is kept, far less than the archives.
    uint64_t archives = 0;
    for (const std::string& archive : setup.archives()) archives += fs::file_size(setup.game + "/" + archive);
    EXPECT_LT(sizeOf(backupOf(setup)), archives / 4);

    const auto undone = setup.vhpatch("uninstall");
    EXPECT_EQ(undone.status, 0) << undone.out << undone.err;
    EXPECT_TRUE(has(undone.out + undone.err, "Uninstall done!")) << undone.out << undone.err;
    expectSameTree(setup.original, setup.game);
    EXPECT_FALSE(fs::exists(backupOf(setup)));

    const auto again = setup.vhpatch("uninstall");
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(has(again.out + again.err, "nothing to uninstall: no backup in:" + setup.game + "/"))
        << again.out << again.err;
  }
}

// Version 2 drops one entry and one extra file of version 1 and changes
// another entry; over version 1 it must give what it gives alone.
TEST(InstallBackup, ASecondPackageStartsFromTheOriginals) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("makeandapply").status, 0);
  const std::string trz = setup.program + "/trans/Docks.trz";
  std::string text = test::readFile(trz);
  const size_t first = text.find("id=Docks");
  const size_t second = text.find("id=Docks", text.find(">>", first));
  ASSERT_NE(second, std::string::npos);
  const size_t value = text.find("value=", second), length = text.find("length=", second);
  text.replace(value, text.find('\n', value) - value, "value=\xC4\xE3");  // 你
  text.replace(length, text.find('\n', length) - length, "length=2");
  text.erase(first, second - first);
  test::writeFile(trz, text);
  fs::remove(setup.program + "/extra/font.cfg");

  ASSERT_EQ(setup.vhpatch("makeandapply").status, 0);
  const auto overFirst = tree(setup.game);
  EXPECT_FALSE(fs::exists(setup.game + "/font.cfg"));
  ASSERT_EQ(setup.vhpatch("uninstall").status, 0);
  expectSameTree(setup.original, setup.game);
  EXPECT_FALSE(fs::exists(backupOf(setup)));
  ASSERT_EQ(setup.vhpatch("makeandapply").status, 0);
  EXPECT_TRUE(tree(setup.game) == overFirst) << "version 2 over version 1 differs from version 2 alone";
}

// One record more at the end of the root's children: the same texts, a
// game of another version.
void addRecord(const std::string& path) {
  tXARC archive;
  ASSERT_EQ(archive.open(path, test::standardError()), 1);
  auto& records = archive.getXRC()->records;
  auto record = std::make_shared<tRecord>();
  record->parent = records.front();
  record->id = static_cast<int32_t>(records.size()) + 1;
  record->data.type1 = 4;
  records.front()->data.childCount++;
  records.push_back(record);
  test::writeFile(path, test::saved(archive));
}

TEST(InstallBackup, APackageForAnotherVersionOfTheGameWritesNothing) {
  Installation setup;
  const auto printed = test::runCommand("'" + test::binaryPath("vhtool") + "' fingerprint '" + setup.game + "' '" +
                                        setup.program + "'");
  ASSERT_EQ(printed.status, 0) << printed.err;
  ASSERT_EQ(setup.vhpatch("make").status, 0);

  const std::string changed = setup.game + "/Docks/Docks.xarc";
  addRecord(changed);
  const std::string before = test::readFile(changed);
  const auto refused = setup.vhpatch("makeandapply");
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(has(refused.out + refused.err, "this translation is for another version of the game:" + changed))
      << refused.out << refused.err;
  EXPECT_EQ(test::readFile(changed), before);
  EXPECT_FALSE(fs::exists(backupOf(setup)));
  EXPECT_FALSE(fs::exists(setup.game + "/readme_cn.txt"));

  // The same package on the game it was made for, translated or not.
  test::writeFile(changed, test::readFile(setup.original + "/Docks/Docks.xarc"));
  ASSERT_EQ(setup.vhpatch("makeandapply").status, 0);
  const auto again = setup.vhpatch("makeandapply");
  EXPECT_EQ(again.status, 0) << again.out << again.err;
  test::expectPatched(setup);
}

// The backup an installation of the first format left, with the game before
// it and the package it installed (tests/backup_v1/): an uninstallation
// puts the game back, also after the same package is installed over it.
TEST(InstallBackup, ABackupOfTheFirstFormatIsPutBack) {
  const std::string kept = std::string(VH_SOURCE_DIR) + "/tests/backup_v1/";
  for (const bool installedOver : {false, true}) {
    SCOPED_TRACE(installedOver ? "installed over" : "as it was left");
    Installation setup;
    fs::remove_all(setup.game);
    fs::copy(kept + "installed", setup.game, fs::copy_options::recursive);
    if (installedOver) {
      fs::copy_file(kept + "patch.dat", setup.program + "/patch.dat", fs::copy_options::overwrite_existing);
      const auto installed = setup.vhpatch("", "\n");
      ASSERT_EQ(installed.status, 0) << installed.err;
      EXPECT_TRUE(tree(setup.game) == tree(kept + "installed"));
    }
    const auto undone = setup.vhpatch("uninstall");
    EXPECT_EQ(undone.status, 0) << undone.out << undone.err;
    EXPECT_TRUE(has(undone.err, "uninstalled: 3 originals put back, 1 added file removed; ")) << undone.err;
    expectSameTree(kept + "original", setup.game);
    EXPECT_FALSE(fs::exists(backupOf(setup)));
  }
}

// Extra files in folders the game did not have: the installation records
// the folders it made, and the uninstallation removes those left empty.
TEST(InstallBackup, FoldersAnInstallationMadeGoWithItsFiles) {
  Installation setup;
  test::makeFolders(setup.game + "/docs");
  test::makeFolders(setup.original + "/docs");
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const std::string package = setup.program + "/patch.dat";
  auto members = test::packageMembers(package);
  const std::vector<std::string> extras = {"fonts/cn/song.ttf", "fonts/cn/hei.ttf", "docs/new/notes.txt",
                                           "maps/.\\north\\map.txt"};
  for (auto& [name, bytes] : members) {
    if (name != "extra.lst") continue;
    for (const std::string& extra : extras) bytes += extra + "\r\n";
  }
  for (const std::string& extra : extras) members.emplace_back("extra/" + extra, "bytes of " + extra);
  test::writePackage(package, members);

  const auto installed = setup.vhpatch("", "\n");
  ASSERT_EQ(installed.status, 0) << installed.err;
  EXPECT_EQ(test::readFile(setup.game + "/fonts/cn/hei.ttf"), "bytes of fonts/cn/hei.ttf");
  EXPECT_EQ(test::readFile(setup.game + "/maps/north/map.txt"), "bytes of maps/.\\north\\map.txt");
  const std::string manifest = test::readFile(backupOf(setup) + "/manifest");
  for (const char* made : {"fonts", "fonts/cn", "docs/new", "maps", "maps/north"}) {
    EXPECT_TRUE(has(manifest, std::string("folder=") + made + "\r\n")) << made;
  }
  EXPECT_FALSE(has(manifest, "folder=docs\r\n"));
  // A file of the player's own keeps its folder.
  test::writeFile(setup.game + "/maps/mine.txt", "mine");

  const auto undone = setup.vhpatch("uninstall");
  EXPECT_EQ(undone.status, 0) << undone.err;
  EXPECT_FALSE(fs::exists(setup.game + "/fonts"));
  EXPECT_FALSE(fs::exists(setup.game + "/docs/new"));
  EXPECT_FALSE(fs::exists(setup.game + "/maps/north"));
  EXPECT_EQ(test::readFile(setup.game + "/maps/mine.txt"), "mine");
  fs::remove_all(setup.game + "/maps");
  expectSameTree(setup.original, setup.game);
  EXPECT_TRUE(fs::is_directory(setup.game + "/docs"));
  EXPECT_FALSE(fs::exists(backupOf(setup)));
}

// Killed while it puts files back (as its third new file appears), an
// uninstallation leaves each file original or installed, and the next one
// finishes. The opening of the last archive it restores is held, so the
// kill always comes mid-way.
TEST(InstallBackup, ASecondUninstallFinishesWhatAKilledOneBegan) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("makeandapply").status, 0);
  const auto installed = tree(setup.game);
  const std::string gated = "static/Marketplace/Marketplace.xarc";  // the last path in order
  ASSERT_TRUE(installed.count(gated));
  test::HeldOpen gate(setup.game + "/" + gated);
  SKIP_WITHOUT_HELD_OPEN(gate);

  const int watch = inotify_init1(IN_CLOEXEC);
  for (const auto& entry : fs::recursive_directory_iterator(setup.game)) {
    if (entry.is_directory()) inotify_add_watch(watch, entry.path().c_str(), IN_CREATE);
  }
  const pid_t child = test::startQuietly(setup, "uninstall");
  alignas(inotify_event) char events[4096];
  for (int seen = 0; seen < 3;) {
    const ssize_t n = read(watch, events, sizeof events);
    ASSERT_GT(n, 0);
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      if (event->len && has(event->name, ".vhnew-")) ++seen;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  close(watch);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  gate.release();
  const auto original = tree(setup.original);
  int restored = 0;
  for (const auto& [path, bytes] : tree(setup.game)) {
    if (has(path, ".vhnew-")) continue;
    const bool asOriginal = original.count(path) && original.at(path) == bytes;
    EXPECT_TRUE(asOriginal || (installed.count(path) && installed.at(path) == bytes)) << path;
    if (asOriginal && installed.at(path) != bytes) ++restored;
  }
  EXPECT_GT(restored, 0);

  const auto finished = setup.vhpatch("uninstall");
  EXPECT_EQ(finished.status, 0) << finished.out << finished.err;
  expectSameTree(setup.original, setup.game);
  EXPECT_FALSE(fs::exists(backupOf(setup)));
}

}  // namespace
}  // namespace vh
