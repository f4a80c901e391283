// Installing again through the real vhpatch: what the last installation
// left as this one would make it is not written again, and whatever
// happened in between (a changed entry, a changed extra file, a game file
// changed behind the installer's back, a killed run, an older manifest) the
// game ends as a fresh installation of the same working tree leaves it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "tests/app/installation.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;

constexpr const char* kBackup = ".vhpatch-backup/";

// Every game file by relative path, with its bytes; the backup is not the
// game.
std::map<std::string, std::string> tree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string path = fs::relative(entry.path(), root).string();
    if (entry.is_regular_file() && !path.starts_with(kBackup)) files[path] = test::readFile(entry.path());
  }
  return files;
}

// A file that was written again has a new inode (it was replaced) or a new
// modification time (it was written in place).
struct Identity {
  ino_t inode;
  int64_t modifiedNs;
  bool operator==(const Identity&) const = default;
};

std::map<std::string, Identity> identities(const std::string& root) {
  std::map<std::string, Identity> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string path = fs::relative(entry.path(), root).string();
    struct stat info {};
    if (!entry.is_regular_file() || path.starts_with(kBackup) || stat(entry.path().c_str(), &info) != 0) continue;
    found[path] = {info.st_ino, info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec};
  }
  return found;
}

// The game as a fresh installation of `setup`'s working tree leaves it: the
// same sample game made again, untouched, and the tree installed into it.
std::map<std::string, std::string> freshInstall(const Installation& setup) {
  Installation fresh;
  for (const char* folder : {"data", "trans", "extra", "addon"}) {
    fs::remove_all(fresh.program + "/" + folder);
    if (fs::exists(setup.program + "/" + folder)) {
      fs::copy(setup.program + "/" + folder, fresh.program + "/" + folder, fs::copy_options::recursive);
    }
  }
  const auto run = fresh.vhpatch("makeandapply");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  return tree(fresh.game);
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A new text for the first entry of a scene's table.
void changeFirstEntry(const Installation& setup, const std::string& scene) {
  const std::string trz = setup.program + "/trans/" + scene + ".trz";
  std::string text = test::readFile(trz);
  const size_t value = text.find("value=");
  ASSERT_NE(value, std::string::npos);
  text.replace(value, text.find('\n', value) - value, "value=\xC4\xE3\xBA\xC3");  // 你好
  test::writeFile(trz, text);
}

// The heroine's name in "Global" overwritten with as many other bytes, and
// the modification time set back, as a careless tool would leave it: only
// the change time tells.
void changeBehindTheInstallersBack(const Installation& setup) {
  const std::string path = setup.game + "/Global/Global.xarc";
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  std::string bytes = test::readFile(path);
  const size_t at = bytes.find(test::kHeroine);
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, test::kHeroine.size(), std::string(test::kHeroine.size(), 'X'));
  test::writeFile(path, bytes);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  ASSERT_EQ(after.st_size, before.st_size);
  ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// The file's first byte changed, its size and modification time kept.
void changeFirstByte(const std::string& path) {
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  std::string bytes = test::readFile(path);
  ASSERT_FALSE(bytes.empty());
  bytes[0] = bytes[0] == 'X' ? 'Y' : 'X';
  test::writeFile(path, bytes);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// The manifest as a program without stamps and scene inputs wrote it.
void forgetStamps(const Installation& setup) {
  const std::string manifest = setup.game + "/" + kBackup + "manifest";
  std::string kept;
  bool inUntouched = false, inScene = false;
  std::istringstream lines(test::readFile(manifest));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    inUntouched = inUntouched || line.starts_with("untouched=");
    inScene = inScene || line.starts_with("scene=");
    if (!inUntouched && !inScene && !line.starts_with("stamp=") && !line.starts_with("inputs=")) {
      kept += line + "\r\n";
    }
    if (line == ">>") inUntouched = inScene = false;
  }
  ASSERT_NE(kept, test::readFile(manifest));
  test::writeFile(manifest, kept);
}

// An installation of a changed Docks table killed while it waits for the
// last archive in order, whose opening the test holds: by then every earlier
// scene is written, but for the Docks archive that may still wait for its
// rename while that last one is read ahead, and the manifest is not. The
// archive is touched, so that it is opened at all.
void killMidway(const Installation& setup) {
  changeFirstEntry(setup, "Docks");
  const std::string last = setup.game + "/static/Marketplace/Marketplace.xarc";
  ASSERT_EQ(utimensat(AT_FDCWD, last.c_str(), nullptr, 0), 0);
  test::HeldOpen gate(last);
  SKIP_WITHOUT_HELD_OPEN(gate);
  const pid_t child = test::startQuietly(setup, "makeandapply");
  const bool held = gate.waitForOpen();
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(held) << "the installation ended before the last archive";
  ASSERT_TRUE(WIFSIGNALED(status));
}

struct Case {
  const char* name;
  // What happens between the first installation and the second.
  std::function<void(const Installation&)> between;
  // Game files the second installation may write (relative paths).
  std::function<bool(const std::string&)> mayWrite;
  // Archives and extra files the second installation must skip without
  // reading them (an extra file without inflating its member again); -1
  // where the number is not the point.
  int skipped;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

bool nothing(const std::string&) { return false; }

class InstallIncremental : public ::testing::TestWithParam<Case> {};

TEST_P(InstallIncremental, WritesOnlyWhatChangedAndEndsAsAFreshInstallation) {
  const Case& c = GetParam();
  Installation setup;
  const auto first = setup.vhpatch("makeandapply");
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  c.between(setup);
  if (::testing::Test::HasFatalFailure() || ::testing::Test::IsSkipped()) return;
  const auto before = identities(setup.game);

  const auto second = test::runCommand("export VHPATCH_DEBUG=1; " + setup.command("makeandapply"));
  ASSERT_EQ(second.status, 0) << second.out << second.err;

  for (const auto& [path, identity] : identities(setup.game)) {
    const auto was = before.find(path);
    if (was == before.end() || c.mayWrite(path)) continue;
    EXPECT_TRUE(was->second == identity) << path << " was written again";
  }
  if (c.skipped >= 0) {
    EXPECT_EQ(count(second.err, "unchanged since the last installation: "), static_cast<size_t>(c.skipped))
        << second.err;
  }
  EXPECT_TRUE(test::leftovers(setup.game).empty());
  EXPECT_TRUE(tree(setup.game) == freshInstall(setup)) << "the game differs from a fresh installation";
}

// The sample game has six scenes of four archives each, and its package two
// extra files.
constexpr int kArchives = 24;
constexpr int kExtras = 2;

INSTANTIATE_TEST_SUITE_P(
    Changes, InstallIncremental,
    ::testing::Values(
        Case{"SamePackage", [](const Installation&) {}, nothing, kArchives + kExtras},
        // The entry is one of the Docks archive's own: the scene's other
        // archives are left without being read.
        Case{"OneEntryChanged", [](const Installation& s) { changeFirstEntry(s, "Docks"); },
             [](const std::string& path) { return path == "Docks/Docks.xarc"; }, kArchives - 1 + kExtras},
        Case{"ExtraFileChanged",
             [](const Installation& s) { test::writeFile(s.program + "/extra/font.cfg", "size=14\r\n"); },
             [](const std::string& path) { return path == "font.cfg"; }, kArchives + kExtras - 1},
        // The same size, as its member's: only its CRC tells.
        Case{"ExtraFileChangedInPlace", [](const Installation& s) { changeFirstByte(s.program + "/extra/font.cfg"); },
             [](const std::string& path) { return path == "font.cfg"; }, kArchives + kExtras - 1},
        // Its member the same: only its stamp tells.
        Case{"InstalledExtraFileChangedBehindOurBack", [](const Installation& s) { changeFirstByte(s.game + "/font.cfg"); },
             [](const std::string& path) { return path == "font.cfg"; }, kArchives + kExtras - 1},
        Case{"GameFileChangedBehindOurBack", changeBehindTheInstallersBack,
             [](const std::string& path) { return path == "Global/Global.xarc"; }, kArchives - 1 + kExtras},
        Case{"KilledRunBefore", killMidway,
             [](const std::string& path) {
               return path.starts_with("static/Marketplace/") || path == "Docks/Docks.xarc";
             },
             -1},
        Case{"ManifestWithoutStamps", forgetStamps, nothing, 0}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vh
