// The real vhpatch attacked while it installs: killed with SIGKILL at
// chosen system calls across the whole installation, and given a disk that
// runs out of space. After each, every game file is as it was or as a whole
// installation makes it, and the package survives a build that cannot finish.
// Then hostile input, one row per attack: a package, a backup folder or a
// game file made to turn the installer against the player's files, to make
// it hold or write gigabytes, or to wait for ever.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <random>

#include "common/files.h"
#include "digest/sha256.h"
#include "fixtures/fixture_bytes.h"
#include "package/patch.h"
#include "tests/recording_host.h"
#include "tests/app/installation.h"
#include "tests/app/recording_desktop.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;
using test::TempDir;
using fixture::StoredMember;

// A file's size and a digest of its bytes: the large sample game's files
// would not fit in memory three times over.
struct Content {
  size_t size = 0;
  size_t digest = 0;
  bool operator==(const Content&) const = default;
};

Content contentOf(const std::string& path) {
  const std::string bytes = test::readFile(path);
  return {bytes.size(), std::hash<std::string>{}(bytes)};
}

// Every regular file under `folder`, by relative path.
using Files = std::map<std::string, Content>;

// The game's own files; the backup folder is the installer's, and whether it
// still undoes the installation is checked by uninstalling.
Files filesIn(const std::string& folder) {
  Files found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    if (name.rfind(".vhpatch-backup", 0) == 0) continue;
    if (entry.is_regular_file()) found[name] = contentOf(entry.path());
  }
  return found;
}

void replaceFolder(const std::string& folder, const std::string& with) {
  fs::remove_all(folder);
  fs::copy(with, folder, fs::copy_options::recursive);
}

// What a game folder holds, against its files before and after a whole
// installation.
struct Inspection {
  int damaged = 0;   // neither as before nor as after, or missing
  int newFiles = 0;  // unfinished new files
  int patched = 0;   // as after, where that differs from before
  int changing = 0;  // files a whole installation changes
  std::vector<std::string> notes;
};

Inspection inspect(const std::string& game, const Files& before, const Files& after) {
  Inspection seen;
  const Files now = filesIn(game);
  Files known = before;
  known.insert(after.begin(), after.end());
  for (const auto& [path, unused] : known) {
    const auto was = before.find(path), will = after.find(path), is = now.find(path);
    const bool changes = was == before.end() || will == after.end() || was->second != will->second;
    seen.changing += changes;
    const bool asBefore = is == now.end() ? was == before.end() : was != before.end() && is->second == was->second;
    const bool asAfter = is != now.end() && will != after.end() && is->second == will->second;
    if (changes && asAfter) ++seen.patched;
    if (!asBefore && !asAfter) {
      ++seen.damaged;
      seen.notes.push_back(path + " is damaged");
    }
  }
  for (const auto& [path, unused] : now) {
    if (known.count(path)) continue;
    const bool unfinished = path.find(kNewFileMark) != std::string::npos;
    (unfinished ? seen.newFiles : seen.damaged)++;
    if (!unfinished) seen.notes.push_back(path + " should not be there");
  }
  return seen;
}

// The game as a plain installation leaves it, made in a copy.
Files installedCopy(const Installation& setup) {
  TempDir reference;
  fs::copy(setup.original, reference / "game", fs::copy_options::recursive);
  test::writeFile(setup.prefix + "/user.reg", test::userReg(reference / "game"));
  const auto run = setup.vhpatch("", "\n");
  test::writeFile(setup.prefix + "/user.reg", test::userReg(setup.game));
  EXPECT_EQ(run.status, 0) << run.err;
  return filesIn(reference / "game");
}

// ---- killed

// One installation in the default mode (Enter pressed), traced through its
// system calls: killed on entering call number `killAt` (from 0), before
// that call runs; -1 lets it finish.
struct Traced {
  long calls = 0;          // calls entered, the fatal one not counted
  long firstNewFile = -1;  // the call that creates the first new file
  long lastRename = -1;    // the last call that renames
  bool killed = false;
  int status = -1;  // the exit status when it was not killed
};

std::string tracedString(pid_t pid, uint64_t address) {
  std::string text;
  for (;;) {
    errno = 0;
    const long word = ptrace(PTRACE_PEEKDATA, pid, address + text.size(), nullptr);
    if (errno != 0) return text;
    char bytes[sizeof word];
    std::memcpy(bytes, &word, sizeof word);
    for (char c : bytes) {
      if (c == '\0' || text.size() > 4096) return text;
      text += c;
    }
  }
}

bool isRename(uint64_t call) {
#ifdef SYS_rename
  if (call == SYS_rename) return true;
#endif
  return call == SYS_renameat || call == SYS_renameat2;
}

Traced traceInstallation(const Installation& setup, long killAt) {
  test::writeFile(setup.dir / "enter", "\n");
  const std::string program = setup.program + "/vhpatch", input = setup.dir / "enter";
  Traced traced;
  const pid_t child = fork();
  if (child < 0) return traced;
  if (child == 0) {
    const int in = ::open(input.c_str(), O_RDONLY), out = ::open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || chdir("/") != 0) _exit(126);
    setenv("WINEPREFIX", setup.prefix.c_str(), 1);
    setenv("VHPATCH_UI", "terminal", 1);
    // LeakSanitizer's check at exit traces the process, which a process
    // already traced cannot allow.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", ((sanitizer ? std::string(sanitizer) + ":" : "") + "detect_leaks=0").c_str(), 1);
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);  // stopped by its exec
  ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int pass = 0;  // a signal meant for the program goes on to it
  for (;;) {
    ptrace(PTRACE_SYSCALL, child, nullptr, pass);
    pass = 0;
    if (waitpid(child, &status, 0) != child || WIFEXITED(status) || WIFSIGNALED(status)) break;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      pass = WSTOPSIG(status);
      continue;
    }
    __ptrace_syscall_info info{};
    ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof info, &info);
    if (info.op != PTRACE_SYSCALL_INFO_ENTRY) continue;
    // How often the installation waits for its helper thread (and so how
    // many futex calls it makes) varies from run to run; the moments are
    // counted in the calls that do not.
    if (info.entry.nr == SYS_futex) continue;
    if (traced.calls == killAt) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      traced.killed = true;
      return traced;
    }
    const uint64_t call = info.entry.nr;
    if (traced.firstNewFile < 0 && call == SYS_openat && (info.entry.args[2] & O_CREAT) &&
        tracedString(child, info.entry.args[1]).find(kNewFileMark) != std::string::npos) {
      traced.firstNewFile = traced.calls;
    }
    if (isRename(call)) traced.lastRename = traced.calls;
    ++traced.calls;
  }
  traced.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return traced;
}

long fromEnvironment(const char* name, long otherwise) {
  const char* value = std::getenv(name);
  return value && *value ? std::strtol(value, nullptr, 10) : otherwise;
}

// The moments are system calls of a measured installation: a tenth of them
// before its first new file, a tenth after its last rename (before it
// exits), the rest in between, each drawn at random from a seed the output names.
// VH_KILL_TEST_SIZE=large runs the same on the large sample game.
TEST(InstallAttack, AKilledInstallationLeavesEveryFileWholeAndTheNextOneFinishes) {
  test::TempDirsInMemory fast;
  const bool large = std::string(std::getenv("VH_KILL_TEST_SIZE") ? std::getenv("VH_KILL_TEST_SIZE") : "") == "large";
  Installation setup("", 3, large ? "--size large" : "--scenes 6 --subs 3");
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const Files before = filesIn(setup.original);

  const Traced whole = traceInstallation(setup, -1);
  if (whole.calls == 0) GTEST_SKIP() << "vhpatch cannot be traced here (ptrace refused)";
  ASSERT_EQ(whole.status, 0);
  test::expectPatched(setup);
  const Files after = filesIn(setup.game);
  ASSERT_GT(whole.firstNewFile, 0);
  ASSERT_GT(whole.lastRename, whole.firstNewFile);
  ASSERT_GT(whole.calls, whole.lastRename + 1);

  constexpr long kMargin = 8;
  const long tail = whole.calls - whole.lastRename - 1;
  ASSERT_GT(whole.firstNewFile, kMargin);
  ASSERT_GE(tail, 2);
  const long runs = fromEnvironment("VH_KILL_TEST_RUNS", 50);
  const long seed = fromEnvironment("VH_KILL_TEST_SEED", 13);
  std::mt19937 random(static_cast<unsigned>(seed));
  const auto between = [&](long low, long high) { return std::uniform_int_distribution<long>(low, high)(random); };
  int beforeFirst = 0, midWrite = 0, betweenFiles = 0, afterLast = 0, damaged = 0, stray = 0;
  for (long run = 0; run < runs; ++run) {
    const long part = run % 10;
    // A run's count of calls varies by a few (how its reads of standard
    // input and its exit fall out), so the moments keep clear of the very
    // edges: a kill past the end would kill nothing.
    const long moment = part == 0   ? between(0, whole.firstNewFile - kMargin)
                        : part == 9 ? between(whole.lastRename + 1, whole.lastRename + tail / 2)
                                    : between(whole.firstNewFile, whole.lastRename);
    SCOPED_TRACE("killed at system call " + std::to_string(moment) + " of " + std::to_string(whole.calls));
    replaceFolder(setup.game, setup.original);
    EXPECT_TRUE(traceInstallation(setup, moment).killed);

    const Inspection killed = inspect(setup.game, before, after);
    EXPECT_EQ(killed.damaged, 0) << ::testing::PrintToString(killed.notes);
    damaged += killed.damaged;
    if (killed.newFiles > 0) {
      ++midWrite;
    } else if (killed.patched == 0) {
      ++beforeFirst;
    } else if (killed.patched == killed.changing) {
      ++afterLast;
    } else {
      ++betweenFiles;
    }

    const auto next = setup.vhpatch("", "\n");
    EXPECT_EQ(next.status, 0) << next.err;
    const Inspection finished = inspect(setup.game, before, after);
    EXPECT_EQ(finished.patched, finished.changing) << "the next installation did not finish the job";
    EXPECT_EQ(finished.damaged, 0) << ::testing::PrintToString(finished.notes);
    damaged += finished.damaged;
    stray += finished.newFiles;

    // The backup a killed run left, finished by the next, still gives the
    // game back as it was.
    const auto undone = setup.vhpatch("uninstall", "");
    EXPECT_EQ(undone.status, 0) << undone.err;
    const Inspection restored = inspect(setup.game, before, after);
    EXPECT_EQ(restored.patched, 0) << "uninstall left translated files";
    EXPECT_EQ(restored.damaged, 0) << ::testing::PrintToString(restored.notes);
    EXPECT_FALSE(fs::exists(setup.game + "/.vhpatch-backup"));
    damaged += restored.damaged;
    stray += restored.newFiles;
  }
  std::cout << "kill test: " << runs << " runs, " << midWrite << " interrupted mid-write, " << damaged
            << " damaged files, " << stray << " stray files\n"
            << "kill test: " << beforeFirst << " before the first write, " << betweenFiles << " between files, "
            << afterLast << " after the last; seed " << seed << ", " << whole.calls << " system calls\n";
  EXPECT_GT(beforeFirst, 0);
  EXPECT_GT(midWrite, 0);
  EXPECT_GT(afterLast, 0);
  EXPECT_EQ(damaged, 0);
  EXPECT_EQ(stray, 0);
}

// ---- a full disk

// A tmpfs of its own, mounted for the object's life.
class SmallDisk {
 public:
  explicit SmallDisk(uint64_t bytes) : path_(folder_ / "disk") {
    fs::create_directory(path_);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (mount("vhtest", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      error_ = std::strerror(errno);
    }
  }
  ~SmallDisk() {
    if (mounted_ && umount(path_.c_str()) != 0) umount2(path_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Takes space until about `bytes` are left.
  void leave(uint64_t bytes) {
    struct statvfs info {};
    ASSERT_EQ(statvfs(path_.c_str(), &info), 0);
    const uint64_t free = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    ASSERT_GE(free, bytes);
    if (free == bytes) return;
    const int fd = ::open((path_ + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(posix_fallocate(fd, 0, static_cast<off_t>(free - bytes)), 0);
    close(fd);
  }

 private:
  TempDir folder_;
  std::string path_;
  bool mounted_ = false;
  std::string error_;
};

uint64_t bytesIn(const std::string& folder) {
  uint64_t total = 0;
  for (const auto& [path, content] : filesIn(folder)) total += content.size;
  return total;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

#define SKIP_WITHOUT_A_SMALL_DISK(disk)                                                                   \
  if (!(disk).mounted())                                                                                  \
  GTEST_SKIP() << "a full disk needs a small tmpfs, which this user may not mount (root can): " << (disk).error()

TEST(InstallAttack, AFullDiskFailsTheInstallationAndLeavesEveryFileWhole) {
  struct Case {
    const char* name;
    bool roomForOneArchive;  // else no room even for the first extra file
  };
  for (const Case c : {Case{"no room", false}, Case{"room for one archive", true}}) {
    SCOPED_TRACE(c.name);
    test::TempDirsInMemory fast;
    Installation setup;
    ASSERT_EQ(setup.vhpatch("make").status, 0);
    const Files before = filesIn(setup.original), after = installedCopy(setup);
    SmallDisk disk(bytesIn(setup.original) + (4 << 20));
    SKIP_WITHOUT_A_SMALL_DISK(disk);
    fs::copy(setup.original, disk / "game", fs::copy_options::recursive);
    test::writeFile(setup.prefix + "/user.reg", test::userReg(disk / "game"));

    // Archives are written in the package's order; the first fits, a larger
    // one later does not.
    tPatch package(test::standardError());
    ASSERT_EQ(package.open(setup.program + "/patch.dat"), 1);
    std::vector<std::string> order;
    for (const auto& [name, scene] : package.scenes) {
      for (const auto& [subName, sub] : scene->subs) order.push_back(sub->path);
    }
    ASSERT_FALSE(order.empty());
    constexpr uint64_t kPage = 4096;
    // The extra files come first and take a page each.
    const uint64_t room = c.roomForOneArchive ? (after.at(order[0]).size / kPage + 6) * kPage : 0;
    uint64_t largest = 0;
    for (const std::string& path : order) largest = std::max<uint64_t>(largest, after.at(path).size);
    ASSERT_GT(largest, room + 4 * kPage) << "every archive fits: the sample game is too even for this test";
    disk.leave(room);

    const auto run = setup.vhpatch("", "\n");
    EXPECT_EQ(run.status, 1) << run.err;
    // What runs out of room first may be a game file or its backup.
    EXPECT_TRUE(has(run.err, "failed to write:" + (disk / "game/")) ||
                has(run.err, "failed to write backup for:" + (disk / "game/")))
        << run.err;
    EXPECT_EQ(has(run.err, "failed applying patch:"), c.roomForOneArchive) << run.err;
    EXPECT_FALSE(has(run.err, "Done!")) << run.err;
    const Inspection seen = inspect(disk / "game", before, after);
    EXPECT_EQ(seen.damaged, 0) << ::testing::PrintToString(seen.notes);
    EXPECT_EQ(seen.newFiles, 0);
    // A scene's archives are renamed together once all are written, so a
    // scene is patched whole or not at all: the first archive only when it
    // is its scene's one archive.
    const bool firstAlone = package.scenes.begin()->second->subs.size() == 1;
    EXPECT_EQ(contentOf(disk / ("game/" + order[0])) == after.at(order[0]), c.roomForOneArchive && firstAlone);
    for (const auto& [name, scene] : package.scenes) {
      size_t patched = 0;
      for (const auto& [subName, sub] : scene->subs) patched += contentOf(disk / ("game/" + sub->path)) == after.at(sub->path);
      EXPECT_TRUE(patched == 0 || patched == scene->subs.size()) << name << ": " << patched << " patched";
    }
    EXPECT_LT(seen.patched, seen.changing);
    std::cout << "full disk, " << c.name << ": " << seen.patched << " of " << seen.changing << " files patched, "
              << seen.damaged << " damaged, " << seen.newFiles << " unfinished files left\n";
  }
}

TEST(InstallAttack, AFullDiskFailsTheBuildAndKeepsThePackage) {
  for (const bool halfway : {false, true}) {
    const char* name = halfway ? "room for half the package" : "no room";
    SCOPED_TRACE(name);
    test::TempDirsInMemory fast;
    Installation setup;
    // A member that does not compress makes the new package far larger than
    // the old one.
    std::mt19937 random(5);
    std::string noise(1 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    SmallDisk disk(bytesIn(setup.program) + 2 * noise.size() + (4 << 20));
    SKIP_WITHOUT_A_SMALL_DISK(disk);
    fs::copy(setup.program, disk / "program", fs::copy_options::recursive);
    const std::string make = "cd / && VHPATCH_UI=terminal '" + (disk / "program/vhpatch") + "' make";
    ASSERT_EQ(test::runCommand(make).status, 0);
    const std::string package = disk / "program/patch.dat";
    const std::string good = test::readFile(package);
    test::writeFile(disk / "program/extra/noise.bin", noise);
    disk.leave(halfway ? noise.size() / 2 : 0);

    const auto run = test::runCommand(make);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(has(run.err, "failed to write:patch.dat")) << run.err;
    EXPECT_FALSE(has(run.err, "Patch gerenating is done!")) << run.err;
    const bool kept = test::readFile(package) == good;
    EXPECT_TRUE(kept) << "the previous package was replaced";
    const size_t unfinished = test::leftovers(disk / "program").size() + (fs::exists(package + ".building") ? 1 : 0);
    EXPECT_EQ(unfinished, 0u) << "a half-written package or new file was left";
    std::cout << "full disk, build, " << name << ": " << (kept ? "old package kept" : "old package replaced") << ", "
              << unfinished << " unfinished files left\n";
  }
}


// ---- hostile input

// A file beside the game folder that an attack aims at.
constexpr const char* kVictim = "outside/victim";
constexpr const char* kVictimBytes = "the player's own file\n";

// A pieces file that would make putting "back" the victim delete it (no
// original) or write `original` over it.
std::string hostilePieces(const std::string& path, const std::string& original = "") {
  std::string text = "vhpatch pieces 1\npath=" + path + "\noriginal=" + (original.empty() ? "" : sha256Hex(original)) +
                     "\ninstalled=" + sha256Hex(kVictimBytes) + "\n";
  if (!original.empty()) text += "keep=" + std::to_string(original.size()) + "\n";
  return text + "data\n" + original;
}

// The package `make` wrote, as members to rebuild it from.
std::vector<StoredMember> builtPackage(const Installation& setup) {
  const auto made = setup.vhpatch("make");
  EXPECT_EQ(made.status, 0) << made.err;
  std::vector<StoredMember> members;
  for (const auto& [name, bytes] : test::packageMembers(setup.program + "/patch.dat")) {
    members.push_back(fixture::storedMember(name, bytes));
  }
  return members;
}

void appendTo(std::vector<StoredMember>& members, const std::string& list, const std::string& lines) {
  for (StoredMember& member : members) {
    if (member.name == list) member = fixture::storedMember(list, member.stored + lines);
  }
}

void writePackage(const Installation& setup, const std::vector<StoredMember>& members,
                  const fixture::Layout& layout = {}) {
  test::writeFile(setup.program + "/patch.dat", fixture::packageOf(members, layout));
}

// The package built from the working tree, with one more extra file: the
// list line as it stands, the member under "extra/" + that line.
void addExtra(const Installation& setup, const std::string& line, const std::string& bytes) {
  auto members = builtPackage(setup);
  appendTo(members, "extra.lst", line + "\r\n");
  members.push_back(fixture::storedMember("extra/" + line, bytes));
  writePackage(setup, members);
}

// The pieces file the manifest names for `path`.
std::string piecesOf(const Installation& setup, const std::string& path) {
  const std::string manifest = test::readFile(setup.game + "/.vhpatch-backup/manifest");
  const size_t block = manifest.find("file=" + path + "\r\n");
  const size_t at = manifest.find("pieces=", block);
  if (block == std::string::npos || at == std::string::npos) return "";
  return manifest.substr(at + 7, manifest.find('\r', at) - at - 7);
}

void installFirst(const Installation& setup) { ASSERT_EQ(setup.vhpatch("makeandapply").status, 0); }

// A mebibyte of text that deflate squeezes about 400 times, as real
// repetitive text would be: a varying byte every kibibyte.
std::string textChunk(bool lines) {
  std::string chunk(1 << 20, 'a');
  for (size_t at = 0; at < chunk.size(); at += 1024) chunk[at] = static_cast<char>('b' + (at / 1024) % 23);
  if (lines) {
    for (size_t at = 1023; at < chunk.size(); at += 1024) chunk[at] = '\n';
  }
  return chunk;
}

// After the package is built, the first archive of the game in name order
// (x.xarc is no scene's) removed and `become` called with its path to put
// something else there; the archive relative to the game folder.
std::string firstArchiveMade(const Installation& setup, void (*become)(const std::string& path)) {
  EXPECT_EQ(setup.vhpatch("make").status, 0);
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(setup.original)) {
    const std::string name = fs::relative(entry.path(), setup.original).string();
    if (entry.path().extension() == ".xarc" && name != "x.xarc") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) {
    ADD_FAILURE() << "the sample game has no archive";
    return "";
  }
  fs::remove(setup.game + "/" + names.front());
  become(setup.game + "/" + names.front());
  return names.front();
}

// One run of vhpatch and what it must say: `message` is a part of its
// output, in which "{game}" stands for the game folder and "{subject}" for
// what the row's planting named.
struct Step {
  std::string args;  // "" is the default mode with Enter pressed
  std::string message;
  int status;
  // No file it writes may grow past this (its writes fail as on a full
  // disk).
  rlim_t fileSize = RLIM_INFINITY;
};

// One attack: a row of the table below. A new attack is a new row: its
// name, how it plants the hostile state (a package, a backup folder, a game
// file), the runs of vhpatch with the message and status each must give,
// and what must stay as it was. Every run has a time limit and, but under
// AddressSanitizer, an address space far above what a sound run costs, so
// that one that would wait or read for ever ends as a failure.
struct Hostile {
  const char* name;  // the test's name
  // Makes the hostile state, after the victim exists; returns the subject.
  std::function<std::string(Installation&)> plant;
  std::vector<Step> steps;
  // Files or folders, relative to the test's folder, that every step must
  // leave byte for byte as the planting left them; the victim always.
  std::vector<std::string> untouched = {};
  // More to see after the last step, given what each step printed.
  std::function<void(const Installation&, const std::vector<test::CommandResult>&)> check = nullptr;
  // Every run's peak memory stays within 64 MiB and eight times the
  // package's size on disk.
  bool memoryBounded = false;
};

// ---- the hostile states that take more than a line

// An add-on whose value is 1,000 MiB on one line, in a package of under
// 4 MB: it was held whole (3 GB at the peak).
std::string addonValueOfAGigabyte(const Installation& setup) {
  auto members = builtPackage(setup);
  appendTo(members, "addon.lst", "huge.txt\r\n");
  members.push_back(fixture::repeatedMember("addon/huge.txt", "id=Docks010001\ntype=speech\nvalue=", textChunk(false), 1000));
  writePackage(setup, members);
  return "";
}

// A 300 MiB value in the "value::" form, its package padded to about 1.9 MB
// with bytes that do not compress: past the 1 MiB under which packages once
// had a ceiling of their own (840 MB at the peak).
std::string addonValuePaddedPastAMegabyte(const Installation& setup) {
  auto members = builtPackage(setup);
  appendTo(members, "addon.lst", "long.txt\r\n");
  members.push_back(fixture::repeatedMember("addon/long.txt", "id=Docks010002\ntype=speech\nvalue::\n", textChunk(true), 300));
  std::string padding(300'000, '\0');
  uint32_t state = 7;
  for (char& c : padding) c = static_cast<char>((state = state * 1664525 + 1013904223) >> 24);
  members.push_back(fixture::storedMember("padding.bin", padding));
  writePackage(setup, members);
  return "";
}

// Twenty directory entries, listed as extra files, naming the local header
// of one deflated stream of 10 MiB: 200 MiB written from a package of a few
// kilobytes.
std::string entriesSharingOneStream(const Installation& setup) {
  auto members = builtPackage(setup);
  std::string listed;
  fixture::Layout layout;
  for (int k = 1; k <= 20; ++k) {
    const std::string name = "extra/big" + std::string(k < 10 ? "0" : "") + std::to_string(k);
    listed += name.substr(6) + "\r\n";
    if (k > 1) layout.aliases.emplace_back(name, members.size());
  }
  appendTo(members, "extra.lst", listed);
  members.push_back(fixture::repeatedMember("extra/big01", "", textChunk(false), 10));
  writePackage(setup, members, layout);
  return "";
}

// An extra file whose stored bytes run on over the directory's first entry.
std::string memberReachingIntoTheDirectory(const Installation& setup) {
  auto members = builtPackage(setup);
  appendTo(members, "extra.lst", "reach.bin\r\n");
  members.push_back(fixture::storedMember("extra/reach.bin", "the member's own bytes"));
  fixture::Layout layout;
  layout.lastReachesDirectory = true;
  writePackage(setup, members, layout);
  return "";
}

const std::vector<Hostile>& hostileInputs() {
  static const std::vector<Hostile> rows = {
      // An extra file written into the backup becomes a pieces file the
      // next run trusts: it would delete the victim.
      {"PiecesFileThroughTheExtraListDotSlash",
       [](Installation& s) {
         addExtra(s, "./.vhpatch-backup/0.pieces", hostilePieces("../../outside/victim"));
         return std::string();
       },
       {{"", "refused extra file outside the game folder:./.vhpatch-backup/0.pieces", 0},
        {"uninstall", "Uninstall done!", 0},
        {"", "refused extra file outside the game folder:./.vhpatch-backup/0.pieces", 0}}},
      {"PiecesFileThroughTheExtraListDotBackslash",
       [](Installation& s) {
         addExtra(s, ".\\.vhpatch-backup\\0.pieces", hostilePieces("../../outside/victim", "owned"));
         return std::string();
       },
       {{"", "refused extra file outside the game folder:.\\.vhpatch-backup\\0.pieces", 0},
        {"uninstall", "Uninstall done!", 0},
        {"", "refused extra file outside the game folder:.\\.vhpatch-backup\\0.pieces", 0}}},
      {"ManifestThroughTheExtraListInCapitals",
       [](Installation& s) {
         addExtra(s, ".VHPATCH-BACKUP/manifest", "vhpatch backup 2\r\n");
         return std::string();
       },
       {{"", "refused extra file outside the game folder:.VHPATCH-BACKUP/manifest", 0},
        {"uninstall", "Uninstall done!", 0}}},
      {"WindowsDeviceNameInTheExtraList",
       [](Installation& s) {
         addExtra(s, "docs/Con.txt", "console");
         return std::string();
       },
       {{"", "refused extra file outside the game folder:docs/Con.txt", 0}},
       {},
       [](const Installation& s, const std::vector<test::CommandResult>&) {
         EXPECT_FALSE(fs::exists(s.game + "/docs/Con.txt"));
       }},
      // What an older version let through, already in the backup: the
      // pieces file is refused, the victim left alone.
      {"PiecesFileInTheBackupDeletingAFileOutside",
       [](Installation& s) {
         installFirst(s);
         const std::string name = std::string(32, 'a') + ".pieces";
         test::writeFile(s.game + "/.vhpatch-backup/" + name, hostilePieces("../../outside/victim"));
         return name;
       },
       {{"uninstall", "backup damaged, cannot restore:{game}/.vhpatch-backup/{subject}", 1},
        {"", "backup damaged, cannot restore:{game}/.vhpatch-backup/{subject}", 1}}},
      {"PiecesFileInTheBackupRewritingAnAbsolutePath",
       [](Installation& s) {
         EXPECT_EQ(s.vhpatch("make").status, 0);
         const std::string name = std::string(32, 'b') + ".pieces";
         test::makeFolders(s.game + "/.vhpatch-backup");
         test::writeFile(s.game + "/.vhpatch-backup/" + name, hostilePieces(s.dir / kVictim, "owned"));
         return name;
       },
       {{"uninstall", "backup damaged, cannot restore:{game}/.vhpatch-backup/{subject}", 1},
        {"", "backup damaged, cannot restore:{game}/.vhpatch-backup/{subject}", 1}},
       {"sample/game"}},
      // A link for the backup folder: the backup would be written to and
      // removed from wherever it leads.
      {"BackupFolderThatIsALink",
       [](Installation& s) {
         EXPECT_EQ(s.vhpatch("make").status, 0);
         test::makeFolders(s.dir / "outside/backup");
         test::writeFile(s.dir / "outside/backup/manifest", "someone else's manifest\n");
         fs::create_directory_symlink(s.dir / "outside/backup", s.game + "/.vhpatch-backup");
         return std::string();
       },
       {{"", "backup folder is not a folder:{game}/.vhpatch-backup", 1},
        {"uninstall", "backup folder is not a folder:{game}/.vhpatch-backup", 1},
        {"makeandapply", "backup folder is not a folder:{game}/.vhpatch-backup", 1}},
       {"outside/backup", "sample/game"}},
      // Pieces lost: the file stays installed, and its backup with it.
      {"PiecesFileDeleted",
       [](Installation& s) {
         installFirst(s);
         const std::string name = piecesOf(s, "Global/Global.xarc");
         fs::remove(s.game + "/.vhpatch-backup/" + name);
         return name;
       },
       {{"uninstall", "not put back, kept in the backup:{game}/Global/Global.xarc", 1},
        {"", "backup damaged, cannot restore:{game}/.vhpatch-backup/{subject}", 1}},
       {"sample/game/Global/Global.xarc"},
       [](const Installation& s, const std::vector<test::CommandResult>& runs) {
         const std::string& said = runs.front().err;
         EXPECT_NE(said.find(", 1 file not put back; " + s.game + "/ is not as it was"), std::string::npos) << said;
         EXPECT_EQ(said.find("Uninstall done!"), std::string::npos);
         EXPECT_NE(piecesOf(s, "Global/Global.xarc"), "") << "the manifest forgot the file";
         for (const auto& [path, bytes] : test::tree(s.original)) {
           if (path != "Global/Global.xarc") {
             EXPECT_TRUE(test::readFile(s.game + "/" + path) == bytes) << path;
           }
         }
       }},
      // A damaged backup would make the installation take an installed file
      // for its original.
      {"PiecesFileDamaged",
       [](Installation& s) {
         installFirst(s);
         const std::string name = piecesOf(s, "Global/Global.xarc");
         test::writeFile(s.game + "/.vhpatch-backup/" + name,
                         test::readFile(s.game + "/.vhpatch-backup/" + name) + "x");
         return name;
       },
       {{"", "backup damaged, cannot restore:{game}/.vhpatch-backup/{subject}", 1},
        {"makeandapply", "backup damaged, cannot restore:{game}/.vhpatch-backup/{subject}", 1}},
       {"sample/game"}},
      // A manifest cut short may have lost files whose pieces are gone too:
      // the uninstallation puts back what the pieces know and keeps the
      // backup; an installation writes nothing.
      {"ManifestCutShort",
       [](Installation& s) {
         installFirst(s);
         const std::string manifest = s.game + "/.vhpatch-backup/manifest";
         const std::string text = test::readFile(manifest);
         test::writeFile(manifest, text.substr(0, text.find("file=", text.find("file=") + 1)));
         return std::string();
       },
       {{"uninstall", "backup damaged, cannot restore:{game}/.vhpatch-backup/manifest", 1},
        {"", "backup damaged, cannot restore:{game}/.vhpatch-backup/manifest", 1}},
       {},
       [](const Installation& s, const std::vector<test::CommandResult>& runs) {
         EXPECT_EQ(runs.front().err.find("Uninstall done!"), std::string::npos);
         EXPECT_TRUE(test::tree(s.game) == test::tree(s.original));
         EXPECT_TRUE(fs::exists(s.game + "/.vhpatch-backup/manifest"));
       }},
      // What a killed writer left in the backup goes, whatever it was for.
      {"UnfinishedFilesInTheBackup",
       [](Installation& s) {
         installFirst(s);
         for (const char* name : {"0123456789abcdef0123456789abcdef.pieces.vhnew-Ab3dE9", "manifest.vhnew-Zz09aB"}) {
           test::writeFile(s.game + "/.vhpatch-backup/" + name, "unfinished");
         }
         return std::string();
       },
       {{"uninstall", "Uninstall done!", 0}},
       {},
       [](const Installation& s, const std::vector<test::CommandResult>&) {
         EXPECT_FALSE(fs::exists(s.game + "/.vhpatch-backup"));
         EXPECT_TRUE(test::tree(s.game) == test::tree(s.original));
       }},
      // A folder made for an extra file that cannot be written goes again.
      {"ExtraFileThatCannotBeWrittenInANewFolder",
       [](Installation& s) {
         addExtra(s, "fonts/cn/huge.ttf", std::string(1 << 20, 'f'));
         return std::string();
       },
       {{"", "failed to write:{game}/fonts/cn/huge.ttf", 1, 256 << 10}},
       {},
       [](const Installation& s, const std::vector<test::CommandResult>&) {
         EXPECT_FALSE(fs::exists(s.game + "/fonts"));
       }},
      // Packages made to take gigabytes of memory, or to write them.
      {.name = "AddonValueOfAGigabyte",
       .plant = addonValueOfAGigabyte,
       .steps = {{"", "Done!", 0}},
       .memoryBounded = true},
      {.name = "AddonValuePaddedPastAMegabyte",
       .plant = addonValuePaddedPastAMegabyte,
       .steps = {{"", "Done!", 0}},
       .memoryBounded = true},
      {.name = "EntriesSharingOneStream",
       .plant = entriesSharingOneStream,
       .steps = {{"", "patch file damaged", 255}},
       .untouched = {"sample/game"},
       .memoryBounded = true},
      {.name = "MemberReachingIntoTheDirectory",
       .plant = memberReachingIntoTheDirectory,
       .steps = {{"", "patch file damaged", 255}},
       .untouched = {"sample/game"},
       .memoryBounded = true},
      // Files that are no files: a pipe would hold the run in open() for
      // ever, /dev/zero would be read until memory runs out.
      {"ArchiveThatIsAPipe",
       [](Installation& s) {
         return firstArchiveMade(s, [](const std::string& at) { EXPECT_EQ(mkfifo(at.c_str(), 0644), 0); });
       },
       {{"", "failed to read:{game}/{subject}", 1}}},
      {"ArchiveLeadingToDevZero",
       [](Installation& s) {
         return firstArchiveMade(s, [](const std::string& at) { fs::create_symlink("/dev/zero", at); });
       },
       {{"", "failed to read:{game}/{subject}", 1}}},
      {"ExtraFileThatIsAPipe",
       [](Installation& s) {
         EXPECT_EQ(s.vhpatch("make").status, 0);
         EXPECT_EQ(mkfifo((s.game + "/readme_cn.txt").c_str(), 0644), 0);
         return std::string("readme_cn.txt");
       },
       {{"", "failed to read:{game}/{subject}", 1}}},
      {"PiecesFileLeadingToDevZero",
       [](Installation& s) {
         EXPECT_EQ(s.vhpatch("make").status, 0);
         const std::string name = std::string(32, 'c') + ".pieces";
         test::makeFolders(s.game + "/.vhpatch-backup");
         fs::create_symlink("/dev/zero", s.game + "/.vhpatch-backup/" + name);
         return name;
       },
       {{"", "failed to read:{game}/.vhpatch-backup/{subject}", 1},
        {"uninstall", "failed to read:{game}/.vhpatch-backup/{subject}", 1}},
       {"sample/game"}},
  };
  return rows;
}

std::map<std::string, std::string> snapshot(const std::string& path) {
  if (fs::is_directory(path)) return test::tree(path);
  return {{"", fs::exists(path) ? test::readFile(path) : "(missing)"}};
}

std::string filled(std::string text, const Installation& setup, const std::string& subject) {
  using Mark = std::pair<std::string, std::string>;
  for (const auto& [mark, value] : {Mark{"{game}", setup.game}, Mark{"{subject}", subject}}) {
    for (size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, mark.size(), value);
  }
  return text;
}

void PrintTo(const Hostile& row, std::ostream* out) { *out << row.name; }

class HostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileInput, IsRefusedAndLeavesWhatItAimsAtAlone) {
  const Hostile& row = GetParam();
  test::TempDirsInMemory fast;
  Installation setup("", 3, "--scenes 3 --subs 2");
  test::makeFolders(setup.dir / "outside");
  test::writeFile(setup.dir / kVictim, kVictimBytes);
  const std::string subject = row.plant(setup);
  if (HasFatalFailure()) return;
  const int64_t packageSize = fileSize(setup.program + "/patch.dat");
  RecordProperty("package_bytes", std::to_string(packageSize));
  std::vector<std::string> watched = row.untouched;
  watched.push_back(kVictim);
  std::map<std::string, std::map<std::string, std::string>> before;
  for (const std::string& path : watched) before[path] = snapshot(setup.dir / path);
  std::vector<test::CommandResult> runs;
  for (const Step& step : row.steps) {
    const std::string shown = step.args.empty() ? std::string("(install)") : step.args;
    SCOPED_TRACE("vhpatch " + shown);
    test::Limits limits;
    limits.time = std::chrono::seconds(240);
    limits.fileSize = step.fileSize;
#if !defined(__SANITIZE_ADDRESS__)
    limits.addressSpace = rlim_t{4} << 30;
#endif
    const auto run = test::runMeasured(setup, step.args, step.args.empty() ? "\n" : "", limits);
    const test::CommandResult& last = runs.emplace_back(run.result);
    EXPECT_FALSE(run.timedOut) << "still running after " << limits.time.count() << " s";
    EXPECT_EQ(last.status, step.status) << last.out << last.err;
    const std::string message = filled(step.message, setup, subject);
    EXPECT_NE((last.out + last.err).find(message), std::string::npos) << message << "\n" << last.out << last.err;
    for (const std::string& path : watched) {
      EXPECT_TRUE(snapshot(setup.dir / path) == before[path]) << path << " was changed";
    }
    std::cout << "hostile input " << row.name << ", vhpatch " << shown << ": status " << last.status;
#if !defined(__SANITIZE_ADDRESS__)
    if (row.memoryBounded) {
      const long boundKiB = static_cast<long>(((64 << 20) + 8 * packageSize) / 1024);
      EXPECT_GT(run.peakKiB, 0) << "the program's peak memory could not be read (ptrace refused?)";
      EXPECT_LE(run.peakKiB, boundKiB) << "package of " << packageSize << " bytes";
      std::cout << ", peak " << run.peakKiB << " KiB of " << boundKiB << " KiB allowed";
    }
#endif
    std::cout << "\n";
  }
  if (row.check) row.check(setup, runs);
}

INSTANTIATE_TEST_SUITE_P(Attacks, HostileInput, ::testing::ValuesIn(hostileInputs()),
                         [](const ::testing::TestParamInfo<Hostile>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vh
