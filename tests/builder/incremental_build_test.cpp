// Building patch.dat with members deflated on worker threads, and again
// with the members of the package being replaced copied from it: either
// way the package must be the one a plain build from scratch makes, byte
// for byte, apart from the time the generated lists are stamped with.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <set>

#include "builder/patch_maker.h"
#include "fixtures/sample_game.h"
#include "tests/recording_host.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

// The members stamped with the time of the build rather than a file's.
const std::set<std::string> kListMembers = {"patchscene.lst", "extra.lst", "addon.lst"};

uint32_t u16At(const std::string& bytes, size_t at) {
  return static_cast<uint8_t>(bytes.at(at)) | static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(at + 1))) << 8;
}
uint32_t u32At(const std::string& bytes, size_t at) { return u16At(bytes, at) | u16At(bytes, at + 2) << 16; }

// The package with the MS-DOS time and date of the list members zeroed, in
// their local headers and in the central directory alike.
std::string withListDatesMasked(std::string bytes) {
  const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
  if (end == std::string::npos) {
    ADD_FAILURE() << "no end of central directory";
    return bytes;
  }
  const uint32_t count = u16At(bytes, end + 10);      // entries in the directory
  size_t entry = u32At(bytes, end + 16);               // the directory's offset
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(u32At(bytes, entry), 0x02014B50u) << "central header " << i;
    const uint32_t nameLength = u16At(bytes, entry + 28);
    const std::string name = bytes.substr(entry + 46, nameLength);
    const uint32_t local = u32At(bytes, entry + 42);
    if (kListMembers.count(name)) {
      bytes.replace(entry + 12, 4, 4, '\0');  // central: time at 12, date at 14
      bytes.replace(local + 10, 4, 4, '\0');  // local: time at 10, date at 12
    }
    entry += 46 + nameLength + u16At(bytes, entry + 30) + u16At(bytes, entry + 32);
  }
  return bytes;
}

// "same" for equal packages, otherwise where they part, so that a failure
// names an offset instead of printing two packages.
std::string comparePackages(const std::string& actual, const std::string& expected) {
  const auto parted = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  if (parted.first == actual.end() && parted.second == expected.end()) return "same";
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
         ", first difference at byte " + std::to_string(parted.first - actual.begin());
}

struct BuildCount {
  int written = -1;
  int reused = -1;
};

class IncrementalBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    SampleGameOptions options;
    options.scenes = 4;
    options.subs = 2;
    options.records = 12;
    options.seed = 16;
    writeSampleGame(dir.path(), options);
    tree = dir / "worktree";
    // A font-sized file deflates in many blocks and, above the workers'
    // window, keeps the later members waiting; half of it repeats so that
    // deflate has matches to find. An empty file deflates to the bare end.
    std::mt19937 random(7);
    std::string font(1 << 20, '\0');
    for (size_t i = 0; i < font.size(); ++i) font[i] = static_cast<char>(i % 2 ? random() : i / 512);
    writeFile(tree + "/extra/font.ttf", font);
    writeFile(tree + "/extra/empty.txt", "");
    here = fs::current_path();
    fs::current_path(tree);
  }
  void TearDown() override { fs::current_path(here); }

  // Builds `package` in the working tree; what the build said of its
  // members.
  BuildCount build(const std::string& package, int threads, bool reuse) {
    TestServices run;
    RecordingHost& desktop = run.host;
    tPatchMaker maker(run.services());
    maker.threads = threads;
    maker.reusePrevious = reuse;
    EXPECT_EQ(maker.Create(package), 1) << testing::PrintToString(desktop.messages());
    BuildCount count;
    for (const std::string& line : desktop.texts(RecordingHost::Kind::Debug)) {
      std::sscanf(line.c_str(), "packed %d members, %d of them", &count.written, &count.reused);
    }
    return count;
  }

  // A package from scratch, by minizip alone on this thread, as the
  // builder always made it.
  std::string scratch() {
    build("scratch.dat", 1, false);
    return withListDatesMasked(readFile("scratch.dat"));
  }

  // Every build syncs its package to the disk.
  test::TempDirsInMemory fast;
  test::TempDir dir;
  std::string tree;
  fs::path here;
};

TEST_F(IncrementalBuild, MembersDeflatedOnWorkersAreTheBytesMinizipMakes) {
  for (const int threads : {2, 3, 8}) {
    const BuildCount count = build("patch.dat", threads, false);
    EXPECT_EQ(count.reused, 0);
    EXPECT_EQ(count.written, static_cast<int>(test::packageMembers("patch.dat").size()));
    EXPECT_EQ(comparePackages(withListDatesMasked(readFile("patch.dat")), scratch()), "same") << threads << " threads";
  }
  // The members are really deflated, not stored.
  EXPECT_LT(fs::file_size("patch.dat"), fs::file_size("extra/font.ttf"));
}

void setModified(const std::string& path, std::time_t when) {
  const utimbuf times{when, when};
  ASSERT_EQ(utime(path.c_str(), &times), 0) << path;
}

// The previous package written by another zip tool, with the working
// tree's files under the names the builder gives them: the same bytes, but
// streams, attributes and extra fields of that tool's own.
void rewrittenByZip(const std::string& previous, const std::string& options) {
  std::remove(previous.c_str());
  const auto zipped = test::runCommand("zip -q -r " + options + " '" + previous + "' trans extra addon");
  EXPECT_EQ(zipped.status, 0) << zipped.err;
}

struct Change {
  const char* what;
  std::function<void(const std::string& previous)> make;
  // Members the new build deflates rather than copies; -1 for all of them.
  int deflated;
};

void PrintTo(const Change& change, std::ostream* out) { *out << change.what; }

const Change kChanges[] = {
    {"nothing", [](const std::string&) {}, 0},
    {"one TRZ file changed",
     [](const std::string&) {
       std::string text = readFile("trans/Global.trz");
       text.replace(text.find("value=") + 6, 0, "X");
       writeFile("trans/Global.trz", text);
     },
     1},
    {"a file touched but not changed",
     [](const std::string&) { setModified("trans/Global.trz", std::time(nullptr) + 3600); }, 0},
    // A changed file that keeps its size, time and all: only its CRC tells.
    {"one byte of the font changed behind the times",
     [](const std::string&) {
       struct stat before {};
       ASSERT_EQ(stat("extra/font.ttf", &before), 0);
       std::string font = readFile("extra/font.ttf");
       font[font.size() / 2] = static_cast<char>(font[font.size() / 2] ^ 1);
       writeFile("extra/font.ttf", font);
       setModified("extra/font.ttf", before.st_mtime);
     },
     1},
    {"a TRZ file removed", [](const std::string&) { std::remove("trans/Global.trz"); }, 0},
    {"an extra file added", [](const std::string&) { writeFile("extra/new.txt", "new"); }, 2},  // and extra.lst
    {"a member of the previous package damaged",
     [](const std::string& previous) { test::damageMember(previous, "extra/font.ttf"); }, 1},
    {"the previous package missing", [](const std::string& previous) { std::remove(previous.c_str()); }, -1},
    {"the previous package no zip file",
     [](const std::string& previous) { writeFile(previous, std::string(4096, 'P')); }, -1},
    {"the previous package cut short",
     [](const std::string& previous) { fs::resize_file(previous, fs::file_size(previous) / 2); }, -1},
    {"the previous package written by zip -1", [](const std::string& previous) { rewrittenByZip(previous, "-1"); }, -1},
    {"the previous package written by zip at its default level",
     [](const std::string& previous) { rewrittenByZip(previous, "-6"); }, -1},
    {"the previous package written by zip without extra fields",
     [](const std::string& previous) { rewrittenByZip(previous, "-6 -X"); }, -1},
};

class IncrementalChange : public IncrementalBuild, public ::testing::WithParamInterface<std::tuple<Change, int>> {};

TEST_P(IncrementalChange, GivesThePackageABuildFromScratchGives) {
  const auto& [change, threads] = GetParam();
  build("patch.dat", threads, true);
  change.make("patch.dat");
  const BuildCount count = build("patch.dat", threads, true);
  EXPECT_EQ(comparePackages(withListDatesMasked(readFile("patch.dat")), scratch()), "same");
  ASSERT_GT(count.written, 0);
  EXPECT_EQ(count.written - count.reused, change.deflated < 0 ? count.written : change.deflated);
  // The package still reads back whole, member by member.
  EXPECT_EQ(test::packageMembers("patch.dat"), test::packageMembers("scratch.dat"));
}

INSTANTIATE_TEST_SUITE_P(Changes, IncrementalChange,
                         ::testing::Combine(::testing::ValuesIn(kChanges), ::testing::Values(1, 3)));

}  // namespace
}  // namespace vh
