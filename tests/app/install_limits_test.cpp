// The real vhpatch against packages and game folders built to make it hold
// gigabytes, write gigabytes or wait for ever: a value of a gigabyte in an
// add-on, directory entries that share one stream, a member that runs into
// the directory, game and backup files that are pipes or /dev/zero. Each
// case plants its hostile state, runs the program with a time limit and an
// address space far above what the sound run costs, and checks the message,
// the status and, where memory is the point, the peak it reached.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/files.h"
#include "tests/app/installation.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"
#include "tools/fixture_bytes.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;
using fixture::StoredMember;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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

void writePackage(const Installation& setup, const std::vector<StoredMember>& members,
                  const fixture::Layout& layout = {}) {
  test::writeFile(setup.program + "/patch.dat", fixture::packageOf(members, layout));
}

// ---- the hostile states

// An add-on whose value is 1,000 MiB on one line, in a package of under
// 4 MB: it was held whole (3 GB at the peak).
void addonValueOfAGigabyte(const Installation& setup) {
  auto members = builtPackage(setup);
  appendTo(members, "addon.lst", "huge.txt\r\n");
  members.push_back(fixture::repeatedMember("addon/huge.txt", "id=Docks010001\ntype=speech\nvalue=", textChunk(false), 1000));
  writePackage(setup, members);
}

// A 300 MiB value in the "value::" form, its package padded to about 1.9 MB
// with bytes that do not compress: past the 1 MiB under which packages once
// had a ceiling of their own (840 MB at the peak).
void addonValuePaddedPastAMegabyte(const Installation& setup) {
  auto members = builtPackage(setup);
  appendTo(members, "addon.lst", "long.txt\r\n");
  members.push_back(fixture::repeatedMember("addon/long.txt", "id=Docks010002\ntype=speech\nvalue::\n", textChunk(true), 300));
  std::string padding(300'000, '\0');
  uint32_t state = 7;
  for (char& c : padding) c = static_cast<char>((state = state * 1664525 + 1013904223) >> 24);
  members.push_back(fixture::storedMember("padding.bin", padding));
  writePackage(setup, members);
}

// Twenty directory entries, listed as extra files, naming the local header
// of one deflated stream of 10 MiB: 200 MiB written from a package of a few
// kilobytes.
void entriesSharingOneStream(const Installation& setup) {
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
}

// An extra file whose stored bytes run on over the directory's first entry.
void memberReachingIntoTheDirectory(const Installation& setup) {
  auto members = builtPackage(setup);
  appendTo(members, "extra.lst", "reach.bin\r\n");
  members.push_back(fixture::storedMember("extra/reach.bin", "the member's own bytes"));
  fixture::Layout layout;
  layout.lastReachesDirectory = true;
  writePackage(setup, members, layout);
}

// The first archive of the game in name order (x.xarc is no scene's), as
// the untouched copy lists it: the one in the game may be a pipe or a link.
std::string firstArchivePath(const Installation& setup) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(setup.original)) {
    const std::string name = fs::relative(entry.path(), setup.original).string();
    if (entry.path().extension() == ".xarc" && name != "x.xarc") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names.empty() ? "" : setup.game + "/" + names.front();
}

std::string firstArchive(const Installation& setup) {
  builtPackage(setup);
  const std::string archive = firstArchivePath(setup);
  EXPECT_FALSE(archive.empty()) << "the sample game has no archive";
  return archive;
}

void archiveIsAPipe(const Installation& setup) {
  const std::string archive = firstArchive(setup);
  fs::remove(archive);
  ASSERT_EQ(mkfifo(archive.c_str(), 0644), 0);
}

void archiveLeadsToDevZero(const Installation& setup) {
  const std::string archive = firstArchive(setup);
  fs::remove(archive);
  fs::create_symlink("/dev/zero", archive);
}

std::string extraTarget(const Installation& setup) { return setup.game + "/readme_cn.txt"; }

void extraFileIsAPipe(const Installation& setup) {
  builtPackage(setup);
  ASSERT_EQ(mkfifo(extraTarget(setup).c_str(), 0644), 0);
}

std::string piecesFile(const Installation& setup) { return setup.game + "/.vhpatch-backup/0123.pieces"; }

void piecesFileLeadsToDevZero(const Installation& setup) {
  builtPackage(setup);
  fs::create_directory(setup.game + "/.vhpatch-backup");
  fs::create_symlink("/dev/zero", piecesFile(setup));
}

std::string nothing(const Installation&) { return ""; }
std::string damaged(const Installation&) { return "patch file damaged"; }
std::string archiveNotRead(const Installation& setup) { return "failed to read:" + firstArchivePath(setup); }
std::string extraNotRead(const Installation& setup) { return "failed to read:" + extraTarget(setup); }
std::string piecesNotRead(const Installation& setup) { return "failed to read:" + piecesFile(setup); }

struct Hostile {
  const char* name;
  void (*plant)(const Installation&);
  const char* mode;  // "" for the default mode, with Enter pressed
  std::string (*message)(const Installation&);  // a line the run must show; "" for none
  int status;
  bool memoryBounded;  // its peak stays within 64 MiB and eight times the package
  bool gameUntouched;  // no game file may change
};

void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }

class InstallLimits : public ::testing::TestWithParam<Hostile> {};

TEST_P(InstallLimits, EndsAsItShouldWithinItsBounds) {
  const Hostile& c = GetParam();
  test::TempDirsInMemory fast;
  Installation setup("", 3, "--scenes 3 --subs 2");
  c.plant(setup);
  if (HasFatalFailure()) return;
  const int64_t packageSize = fileSize(setup.program + "/patch.dat");
  RecordProperty("package_bytes", std::to_string(packageSize));
  const auto before = test::tree(setup.game);

  test::Limits limits;
  // A sound run takes seconds (a sanitizer build some more); one that
  // blocks is ended here.
  limits.time = std::chrono::seconds(300);
#if !defined(__SANITIZE_ADDRESS__)
  // One that reads without end runs out of its allocations here, not of
  // the machine's memory.
  limits.addressSpace = rlim_t{4} << 30;
#endif
  const bool defaultMode = std::string(c.mode).empty();
  const auto run = test::runMeasured(setup, c.mode, defaultMode ? "\n" : "", limits);
  EXPECT_FALSE(run.timedOut) << "still running after " << limits.time.count() << " s";
  EXPECT_EQ(run.result.status, c.status) << run.result.out << run.result.err;
  const std::string expected = c.message(setup);
  if (!expected.empty()) {
    EXPECT_TRUE(has(run.result.err, expected)) << "no \"" << expected << "\" in: " << run.result.err;
  }
  if (c.gameUntouched) {
    EXPECT_TRUE(test::tree(setup.game) == before) << "the game folder changed";
  }
#if !defined(__SANITIZE_ADDRESS__)
  if (c.memoryBounded) {
    ASSERT_GT(run.peakKiB, 0) << "the program's peak memory could not be read (ptrace refused?)";
    RecordProperty("peak_kib", std::to_string(run.peakKiB));
    const long boundKiB = static_cast<long>(((64 << 20) + 8 * packageSize) / 1024);
    EXPECT_LE(run.peakKiB, boundKiB) << "package of " << packageSize << " bytes";
  }
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, InstallLimits,
    ::testing::Values(
        Hostile{"AnAddonValueOfAGigabyte", addonValueOfAGigabyte, "", nothing, 0, true, false},
        Hostile{"AnAddonValuePaddedPastAMegabyte", addonValuePaddedPastAMegabyte, "", nothing, 0, true, false},
        Hostile{"EntriesSharingOneStream", entriesSharingOneStream, "", damaged, 255, true, true},
        Hostile{"AMemberReachingIntoTheDirectory", memberReachingIntoTheDirectory, "", damaged, 255, true, true},
        Hostile{"AnArchiveThatIsAPipe", archiveIsAPipe, "", archiveNotRead, 1, false, false},
        Hostile{"AnArchiveLeadingToDevZero", archiveLeadsToDevZero, "", archiveNotRead, 1, false, false},
        Hostile{"AnExtraFileThatIsAPipe", extraFileIsAPipe, "", extraNotRead, 1, false, false},
        Hostile{"APiecesFileLeadingToDevZero", piecesFileLeadsToDevZero, "", piecesNotRead, 1, false, true},
        Hostile{"APiecesFileLeadingToDevZeroAtUninstall", piecesFileLeadsToDevZero, "uninstall", piecesNotRead, 1,
                false, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vh
