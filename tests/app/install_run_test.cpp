// The real vhpatch when an installation goes wrong: its exit status, links
// and read-only files in the game folder, signals, files a killed run left
// behind, and a second installation into the same game folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "package/patch.h"
#include "tests/recording_host.h"
#include "tests/app/installation.h"
#include "tests/app/recording_desktop.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;
using test::leftovers;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The package's scenes in installation order, each with its archive paths
// in the order they are written.
std::vector<std::pair<std::string, std::vector<std::string>>> scenesOf(const Installation& setup) {
  tPatch package(test::standardError());
  EXPECT_EQ(package.open(setup.program + "/patch.dat"), 1);
  std::vector<std::pair<std::string, std::vector<std::string>>> scenes;
  for (const auto& [name, scene] : package.scenes) {
    scenes.push_back({name, {}});
    for (const auto& [subName, sub] : scene->subs) scenes.back().second.push_back(sub->path);
  }
  return scenes;
}

using test::Running;

TEST(InstallRun, AFailureAfterLoadingEndsWithStatusOne) {
  struct Case {
    const char* name;
    const char* args;
    const char* input;  // Enter presses the install button in the default mode
    bool loseAnArchive;  // else the registry names a folder without a game
    const char* message;
    int status;
  };
  const Case cases[] = {
      {"makeandapply, no game", "makeandapply", "", false, "Cannot find Varnhollow installation.", 1},
      {"makeandapply, archive gone", "makeandapply", "", true, "failed applying patch:", 1},
      {"default, no game, window closed", "", "\n", false, "Cannot find Varnhollow installation.", 1},
      {"default, archive gone, window closed", "", "\n", true, "failed applying patch:", 1},
      {"default, closed without installing", "", "", true, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation setup;
    ASSERT_EQ(setup.vhpatch("make").status, 0);
    if (c.loseAnArchive) {
      fs::remove(setup.game + "/" + scenesOf(setup)[1].second[0]);
    } else {
      fs::remove(setup.game + "/x.xarc");
    }
    const auto result = setup.vhpatch(c.args, c.input);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_TRUE(has(result.err, c.message)) << result.err;
    EXPECT_FALSE(has(result.err, "data written") || has(result.err, "Done!")) << result.err;
  }
}

TEST(InstallRun, LinksInTheGameFolderAreFollowedAndKept) {
  Installation setup;
  test::TempDir elsewhere;
  // One archive and one extra file live outside the game folder, reached
  // through links; the archive is readable only to its owner.
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const std::string linked = scenesOf(setup)[0].second.back();
  fs::rename(setup.game + "/" + linked, elsewhere / "archive.xarc");
  fs::create_symlink(elsewhere / "archive.xarc", setup.game + "/" + linked);
  chmod((elsewhere / "archive.xarc").c_str(), 0600);
  test::writeFile(elsewhere / "font.cfg", "the player's own font settings");
  fs::create_symlink(fs::relative(elsewhere / "font.cfg", setup.game), setup.game + "/font.cfg");

  const auto result = setup.vhpatch("makeandapply");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::is_symlink(setup.game + "/" + linked));
  EXPECT_TRUE(fs::is_symlink(setup.game + "/font.cfg"));
  test::expectPatched(setup);  // reads through the links
  EXPECT_EQ(fs::status(elsewhere / "archive.xarc").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(leftovers(elsewhere.path()).empty());
  EXPECT_TRUE(leftovers(setup.game).empty());
}

TEST(InstallRun, AFileTheUserMayNotWriteFailsLikeAWriteFailure) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run vhpatch as an unprivileged user on a game it owns";
  struct Case {
    const char* name;
    bool extraFile;  // else the second scene's first archive
  };
  for (const Case c : {Case{"archive", false}, Case{"extra file", true}}) {
    SCOPED_TRACE(c.name);
    Installation setup;
    ASSERT_EQ(setup.vhpatch("make").status, 0);
    const auto scenes = scenesOf(setup);
    const std::string locked = setup.game + "/" + (c.extraFile ? "readme_cn.txt" : scenes[1].second[0]);
    if (c.extraFile) test::writeFile(locked, "the old readme");
    const std::string before = test::readFile(locked);
    ASSERT_EQ(test::runCommand("chown -R 65534:65534 '" + setup.dir.path() + "'").status, 0);
    chmod(locked.c_str(), 0444);
    const std::string unprivileged = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    std::string command = setup.command("", "terminal");
    command.insert(command.find("'" + setup.program), unprivileged);

    const auto result = test::runCommand(command, "\n");
    EXPECT_EQ(result.status, 1) << result.err;
    const size_t failed = result.err.find("failed to write:" + locked);
    ASSERT_NE(failed, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("failed applying patch:" + scenes[1].first) != std::string::npos, !c.extraFile)
        << result.err;
    EXPECT_EQ(test::readFile(locked), before);
    // The first scene went in before the archive; nothing came after it.
    const std::string first = scenes[0].second.back(), third = scenes[2].second.back();
    EXPECT_EQ(test::readFile(setup.game + "/" + first) != test::readFile(setup.original + "/" + first), !c.extraFile);
    EXPECT_EQ(test::readFile(setup.game + "/" + third), test::readFile(setup.original + "/" + third));
    EXPECT_TRUE(leftovers(setup.game).empty());
  }
}

// A signal at a known point: after the first new file appears in the game
// folder, or while the third scene's first archive is being read. The
// gated archive's opening is held until after the signal, as a slow disk
// would hold it, so the installation cannot end before the signal comes.
TEST(InstallRun, ASignalStopsBetweenFilesAndSaysWhere) {
  struct Case {
    int signal;
    bool atFirstNewFile;  // else at the debug line of the third scene's first archive
    const char* args;
    const char* input;  // Enter presses the install button in the default mode
  };
  for (const Case c : {Case{SIGTERM, true, "makeandapply", ""}, Case{SIGINT, false, "makeandapply", ""},
                       Case{SIGHUP, false, "makeandapply", ""}, Case{SIGINT, false, "", "\n"}}) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + ", mode \"" + c.args + "\"");
    Installation setup;
    ASSERT_EQ(setup.vhpatch("make").status, 0);
    const auto scenes = scenesOf(setup);
    ASSERT_GE(scenes.size(), 4u);
    const size_t gatedScene = c.atFirstNewFile ? scenes.size() - 1 : 2;
    test::HeldOpen gate(setup.game + "/" + scenes[gatedScene].second[0]);
    SKIP_WITHOUT_HELD_OPEN(gate);
    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, setup.game.c_str(), IN_CREATE), 0);

    Running vhpatch(setup, c.args, c.input);
    if (c.atFirstNewFile) {
      alignas(inotify_event) char events[4096];
      bool seen = false;
      while (!seen) {
        const ssize_t n = read(watch, events, sizeof events);
        ASSERT_GT(n, 0);
        for (ssize_t at = 0; at < n;) {
          const auto* event = reinterpret_cast<const inotify_event*>(events + at);
          seen = seen || (event->len && has(event->name, ".vhnew-"));
          at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
      }
    } else {
      ASSERT_TRUE(gate.waitForOpen()) << (vhpatch.finish(), vhpatch.text());
    }
    close(watch);
    kill(vhpatch.pid(), c.signal);
    gate.release();
    EXPECT_EQ(vhpatch.finish(), 1) << vhpatch.text();

    // One line names the last scene written whole; the ones before it are
    // patched, the ones after it untouched, and no new file is left.
    const std::string& out = vhpatch.text();
    const std::string after = "installation stopped after scene:";
    const size_t line = out.find(after);
    ASSERT_TRUE(line != std::string::npos || has(out, "installation stopped before any scene was finished")) << out;
    EXPECT_EQ(out.find("installation stopped"), out.rfind("installation stopped"));
    EXPECT_FALSE(has(out, "failed") || has(out, "data written")) << out;
    size_t lastWhole = 0;  // scenes counted from 1; 0 for none
    if (line != std::string::npos) {
      const std::string name = out.substr(line + after.size(), out.find('\n', line) - line - after.size());
      while (lastWhole < scenes.size() && scenes[lastWhole].first != name) ++lastWhole;
      ASSERT_LT(lastWhole, gatedScene) << name;
      ++lastWhole;
    }
    if (!c.atFirstNewFile) {
      EXPECT_EQ(lastWhole, 2u);
    }
    for (size_t k = 0; k < scenes.size(); ++k) {
      const std::string main = scenes[k].second.back();
      const bool same = test::readFile(setup.game + "/" + main) == test::readFile(setup.original + "/" + main);
      EXPECT_EQ(same, k >= lastWhole) << main;
    }
    EXPECT_TRUE(leftovers(setup.game).empty());
  }
}

TEST(InstallRun, FilesAKilledRunLeftAreRemovedOnlyBesideWhatThePackageWrites) {
  // An installation alone looks for them once it has the game; one that
  // follows a build, while the package is still loading.
  for (const std::string mode : {"", "makeandapply"}) {
    SCOPED_TRACE(mode);
    Installation setup;
    ASSERT_EQ(setup.vhpatch("make").status, 0);
    const std::string archive = setup.game + "/" + scenesOf(setup)[0].second[0];
    std::vector<std::string> stale = {archive + ".vhnew-a1B2c3", setup.game + "/readme_cn.txt.vhnew-XyZ789"};
    // A build writes that one itself.
    if (mode.empty()) stale.push_back(setup.program + "/patch.dat.building");
    // Not beside a file of the package, or not a name the installer makes.
    const std::vector<std::string> foreign = {setup.game + "/x.xarc.vhnew-a1B2c3", archive + ".vhnew-toolong7"};
    for (const std::string& path : stale) test::writeFile(path, "half");
    for (const std::string& path : foreign) test::writeFile(path, "someone else's");

    const auto result = setup.vhpatch(mode, "\n");
    ASSERT_EQ(result.status, 0) << result.err;
    for (const std::string& path : stale) EXPECT_FALSE(fs::exists(path)) << path;
    for (const std::string& path : foreign) EXPECT_TRUE(fs::exists(path)) << path;
  }
}

// A build at work holds a lock on the package it writes: an installation
// meanwhile leaves that file alone, and so does a second build; once the
// build is gone, the next installation removes what it left.
TEST(InstallRun, AnUnfinishedPackageIsRemovedOnlyWhenNoBuildHoldsIt) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const std::string package = setup.program + "/patch.dat";
  const std::string building = package + ".building";
  const std::string good = test::readFile(package);
  test::writeFile(building, "half");
  const int held = ::open(building.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

  const auto installed = setup.vhpatch("", "\n");
  EXPECT_EQ(installed.status, 0) << installed.err;
  EXPECT_TRUE(has(installed.err, "Done!")) << installed.err;
  EXPECT_EQ(test::readFile(building), "half");
  const auto built = setup.vhpatch("make");
  EXPECT_EQ(built.status, 1) << built.err;
  EXPECT_EQ(built.err, "another build is writing:patch.dat.building\n");
  EXPECT_EQ(test::readFile(building), "half");
  EXPECT_TRUE(test::readFile(package) == good) << "the package was replaced";

  close(held);
  const auto again = setup.vhpatch("", "\n");
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_FALSE(fs::exists(building));
}

TEST(InstallRun, ASecondInstallationIntoTheSameGameIsRefused) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const auto scenes = scenesOf(setup);
  const std::string gatedPath = setup.game + "/" + scenes.back().second[0];
  std::map<std::string, std::string> before;
  {
    // The first installation is held in its last archive, the lock taken.
    test::HeldOpen gate(gatedPath);
    SKIP_WITHOUT_HELD_OPEN(gate);
    Running first(setup, "makeandapply");
    ASSERT_TRUE(gate.waitForOpen()) << (first.finish(), first.text());
    // The scenes before are put in place on a thread of its own, which may
    // still be renaming them; held, the installation hands it nothing more,
    // so the game is looked at once it stands still.
    const auto snapshot = [&] {
      std::map<std::string, std::string> now;
      for (const std::string& archive : setup.archives()) {
        if (setup.game + "/" + archive != gatedPath) now[archive] = test::readFile(setup.game + "/" + archive);
      }
      return now;
    };
    for (auto now = snapshot(); now != before; now = snapshot()) {
      before = std::move(now);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    // A build and its installation look for the game before the build,
    // and, finding it taken, again once the package is built.
    for (const std::string mode : {"", "makeandapply"}) {
      const auto second = setup.vhpatch(mode, mode.empty() ? "\n" : "");
      EXPECT_EQ(second.status, 1) << mode << second.err;
      EXPECT_TRUE(has(second.err, "another installation is running in:" + setup.game + "/")) << mode << second.err;
      EXPECT_FALSE(has(second.out, "extra/")) << mode << second.out;
    }
    for (const auto& [archive, bytes] : before) EXPECT_TRUE(test::readFile(setup.game + "/" + archive) == bytes);
    kill(first.pid(), SIGKILL);
    EXPECT_EQ(first.finish(), -1);
  }
  // The killed holder's lock went with it.
  const auto third = setup.vhpatch("makeandapply");
  EXPECT_EQ(third.status, 0) << third.err;
  EXPECT_TRUE(has(third.err, "data written")) << third.err;
}

}  // namespace
}  // namespace vh
