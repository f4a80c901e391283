// What the player sees of vhpatch in a terminal: the help, the bars with the
// scene at hand, the line that ends an installation or an uninstallation,
// and an uninstallation that a signal stops between two files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/terminal_desktop.h"
#include "app/v_patcher.h"
#include "package/patch.h"
#include "tests/app/installation.h"
#include "tests/app/recording_desktop.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(TerminalHelp, NamesTheModesTheEnvironmentAndTheExitStatusesAndInstallsNothing) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const std::vector<std::string> named = {
      "make",       "makeandapply", "uninstall", "VHPATCH_UI=terminal", "VHPATCH_DEBUG=1", "WINEPREFIX", "HOME",
      "  0    ",    "  1    ",      "  255  "};
  // A mode word after the request is not obeyed.
  for (const std::string args : {"--help", "-h", "--help makeandapply", "-h uninstall"}) {
    SCOPED_TRACE(args);
    const auto result = setup.vhpatch(args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out.starts_with("Usage: vhpatch")) << result.out;
    for (const std::string& word : named) EXPECT_TRUE(has(result.out, word)) << word;
  }
  EXPECT_EQ(test::tree(setup.game), test::tree(setup.original));
  EXPECT_FALSE(fs::exists(setup.game + "/.vhpatch-backup"));
}

// The patcher hands the scene at hand to the desktop, counted in the order
// the scenes are installed, before their first archive and after each.
TEST(TerminalProgress, EveryReportNamesTheSceneAtHandAndItsPlace) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  RecordingDesktop recording;
  vPatcher patcher(recording.services(), recording);
  patcher.gameRoot = setup.game + "/";
  patcher.gameValid = 1;
  ASSERT_EQ(patcher.loadPatch(setup.program + "/patch.dat"), 1);
  std::vector<std::string> names;
  size_t archives = 0;
  for (const auto& [name, scene] : patcher.patch->scenes) {
    names.push_back(name);
    archives += scene->subs.size();
  }
  ASSERT_GE(names.size(), 2u);
  ASSERT_EQ(patcher.doReplace(), 1) << ::testing::PrintToString(recording.messages());

  // One report as each scene starts, one per archive, one as it completes.
  ASSERT_EQ(recording.progress.size(), names.size() * 2 + archives);
  size_t at = 0;
  for (size_t k = 0; k < names.size(); ++k) {
    const size_t reports = 2 + patcher.patch->scenes.at(names[k])->subs.size();
    for (size_t r = 0; r < reports; ++r, ++at) {
      SCOPED_TRACE(names[k] + " report " + std::to_string(r));
      EXPECT_EQ(recording.progress[at].sceneName, names[k]);
      EXPECT_EQ(recording.progress[at].sceneNumber, k + 1);
      EXPECT_EQ(recording.progress[at].sceneCount, names.size());
    }
  }
  // Every archive is either translated or one the package leaves as it is.
  EXPECT_EQ(patcher.written().archives + patcher.written().upToDate, archives);
  EXPECT_GT(patcher.written().archives, 0u);
}

// A pseudo-terminal as standard error, so that the bars are drawn, with a
// width of its own; raw, so that what arrives is what was written.
class PseudoTerminal {
 public:
  explicit PseudoTerminal(unsigned short columns) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("posix_openpt");
    const int slave = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
    if (slave < 0) throw std::runtime_error("open pty");
    termios mode{};
    tcgetattr(slave, &mode);
    cfmakeraw(&mode);
    tcsetattr(slave, TCSANOW, &mode);
    winsize size{};
    size.ws_col = columns;
    size.ws_row = 24;
    ioctl(slave, TIOCSWINSZ, &size);
    err = fdopen(slave, "w");
    fcntl(master_, F_SETFL, O_NONBLOCK);
  }
  ~PseudoTerminal() {
    std::fclose(err);
    close(master_);
  }
  // Everything written so far.
  std::string shown() {
    std::fflush(err);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(master_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
  }
  std::FILE* err = nullptr;

 private:
  int master_ = -1;
};

TEST(TerminalProgress, TheBarsShowTheSceneNameAndCountWithinTheTerminalsWidth) {
  struct Case {
    const char* name;
    unsigned short columns;
    Progress progress;
    const char* sceneLine;
    const char* overallLine;
  };
  const Case cases[] = {
      {"wide", 120, {0.5, 0.25, "Forest", 12, 300},
       "scene   [###############...............] 50%  Forest",
       "overall [#######.......................] 25%  scene 12 of 300"},
      {"before the first scene", 120, {0, 0, "", 0, 300},
       "scene   [..............................] 0%",
       "overall [..............................] 0%"},
      // The package names the scenes: nothing in a name may steer the
      // terminal.
      {"control bytes in the name", 120, {1, 1, "Gl\033[2Job\xC3\xD7", 3, 3},
       "scene   [##############################] 100%  Gl?[2Job??",
       "overall [##############################] 100%  scene 3 of 3"},
      // A line that wrapped would leave a piece behind when the bars are
      // wiped for the next step.
      {"narrow", 50, {0.5, 0.25, "Forest", 12, 300},
       "scene   [###############...............] 50%  For",
       "overall [#######.......................] 25%  sce"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PseudoTerminal tty(c.columns);
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    {
      TerminalDesktop terminal(in, out, tty.err);
      terminal.showProgress(c.progress);
      EXPECT_EQ(tty.shown(), std::string(c.sceneLine) + "\n" + c.overallLine);
      // The next step wipes both lines and draws them again.
      terminal.showProgress(c.progress);
      EXPECT_EQ(tty.shown(), std::string("\r\033[2K\033[1A\r\033[2K") + c.sceneLine + "\n" + c.overallLine);
      terminal.messageBox("Done!");
      EXPECT_EQ(tty.shown(), "\nDone!\n");
    }
    std::fclose(in);
    std::fclose(out);
  }
}

std::string installSummary(const Installation& setup, size_t archives, size_t extras, size_t upToDate) {
  std::string line = "installed: " + std::to_string(archives) + " archives translated, " + std::to_string(extras) +
                     " extra files copied";
  if (upToDate) line += ", " + std::to_string(upToDate) + (upToDate == 1 ? " file" : " files") + " already up to date";
  return line + "; backup in " + setup.game + "/.vhpatch-backup/, undo with \"vhpatch uninstall\"";
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> found;
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    found.push_back(text.substr(at, end - at));
  }
  return found;
}

TEST(TerminalSummary, AnInstallationAndAnUninstallationEachEndWithOneLine) {
  struct Case {
    const char* args;
    const char* input;  // Enter presses the install button in the default mode
    const char* done;
  };
  for (const Case c : {Case{"makeandapply", "", "data written"}, Case{"", "\n", "Done!"}}) {
    SCOPED_TRACE(c.done);
    Installation setup;
    ASSERT_EQ(setup.vhpatch("make").status, 0);
    tPatch package(test::standardError());
    ASSERT_EQ(package.open(setup.program + "/patch.dat"), 1);
    size_t archives = 0;
    for (const auto& [name, scene] : package.scenes) archives += scene->subs.size();
    // Every extra file of the sample's working tree is new to the game.
    size_t extras = 0;
    for (const auto& entry : fs::directory_iterator(setup.program + "/extra")) {
      if (entry.is_regular_file()) ++extras;
    }
    ASSERT_GT(extras, 0u);

    const auto installed = setup.vhpatch(c.args, c.input);
    ASSERT_EQ(installed.status, 0) << installed.err;
    const auto said = lines(installed.err);
    ASSERT_GE(said.size(), 2u) << installed.err;
    EXPECT_EQ(said[said.size() - 2], c.done);
    // Archives the package leaves as they are count as up to date.
    size_t changed = 0;
    for (const auto& [path, bytes] : test::tree(setup.original)) changed += test::readFile(setup.game + "/" + path) != bytes;
    EXPECT_EQ(said.back(), installSummary(setup, changed, extras, archives - changed));
    EXPECT_FALSE(has(installed.out, "installed:"));  // standard output keeps the program's own lines

    // The same package again writes nothing, and says the game is as it wants it.
    const auto again = setup.vhpatch(c.args, c.input);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(lines(again.err).back(), installSummary(setup, 0, 0, archives + extras));
    const auto undone = setup.vhpatch("uninstall");
    ASSERT_EQ(undone.status, 0) << undone.err;
    EXPECT_EQ(lines(undone.err), (std::vector<std::string>{
                                     "Uninstall done!",
                                     "uninstalled: " + std::to_string(changed) + " originals put back, " +
                                         std::to_string(extras) + " added files removed; " + setup.game +
                                         "/ is as it was before the translation"}));
    EXPECT_EQ(test::tree(setup.game), test::tree(setup.original));
  }
}

// The backup's game files by relative path, from its manifest, in the order
// an uninstallation puts them back.
std::vector<std::string> backedUp(const Installation& setup) {
  std::vector<std::string> paths;
  for (const std::string& line : lines(test::readFile(setup.game + "/.vhpatch-backup/manifest"))) {
    if (line.starts_with("file=")) paths.push_back(line.substr(5, line.size() - 6));  // without the CR
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// The first file the uninstallation puts back is held in its opening until
// after the signal, so the signal comes while that file is at hand: it is
// finished, every later one is left installed with its backup, and a second
// uninstallation does the rest.
TEST(TerminalUninstall, ASignalStopsBetweenFilesAndASecondRunFinishes) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    Installation setup;
    ASSERT_EQ(setup.vhpatch("makeandapply").status, 0);
    const auto installed = test::tree(setup.game);
    const auto paths = backedUp(setup);
    ASSERT_GE(paths.size(), 2u);
    test::HeldOpen gate(setup.game + "/" + paths.front());
    SKIP_WITHOUT_HELD_OPEN(gate);

    test::Running uninstall(setup, "uninstall");
    ASSERT_TRUE(gate.waitForOpen()) << (uninstall.finish(), uninstall.text());
    ASSERT_EQ(kill(uninstall.pid(), signal), 0);
    gate.release();
    EXPECT_EQ(uninstall.finish(), 1) << uninstall.text();
    EXPECT_TRUE(has(uninstall.text(), "uninstall stopped with " + std::to_string(paths.size() - 1) +
                                          " file(s) still to put back; run \"vhpatch uninstall\" again to finish"))
        << uninstall.text();
    EXPECT_FALSE(has(uninstall.text(), "Uninstall done!"));

    // The file at hand is back; the rest are as the installation left them.
    const auto now = test::tree(setup.game);
    const auto originals = test::tree(setup.original);
    ASSERT_TRUE(now.count(paths.front())) << uninstall.text();
    EXPECT_EQ(now.at(paths.front()), originals.at(paths.front()));
    for (size_t k = 1; k < paths.size(); ++k) {
      ASSERT_TRUE(now.count(paths[k])) << paths[k];
      EXPECT_EQ(now.at(paths[k]), installed.at(paths[k])) << paths[k];
    }
    EXPECT_EQ(backedUp(setup), std::vector<std::string>(paths.begin() + 1, paths.end()));
    EXPECT_TRUE(test::leftovers(setup.game).empty());

    const auto again = setup.vhpatch("uninstall");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(test::tree(setup.game), originals);
    EXPECT_FALSE(fs::exists(setup.game + "/.vhpatch-backup"));
  }
}

}  // namespace
}  // namespace vh
