// The real vhpatch building its package where that can fail: a file system
// that refuses the package's bytes, a folder that is no working tree, and
// packages whose translation tables would unfold past what their size
// allows.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "common/files.h"
#include "formats/xarc.h"
#include "tests/app/installation.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;
using test::TempDir;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void expectGameUntouched(const Installation& setup) {
  for (const std::string& archive : setup.archives()) {
    EXPECT_TRUE(test::readFile(setup.game + "/" + archive) == test::readFile(setup.original + "/" + archive))
        << archive << " was changed";
  }
  EXPECT_FALSE(fileExists(setup.game + "/readme_cn.txt"));
}

// ---- a build that cannot write its package

struct WriteFailure {
  const char* mode;
  const char* where;  // where in the package the file system gives out
};

void PrintTo(const WriteFailure& failure, std::ostream* out) { *out << failure.mode << " failing at the " << failure.where; }

class BuildWriteFailure : public ::testing::TestWithParam<WriteFailure> {};

TEST_P(BuildWriteFailure, KeepsThePreviousPackageAndSaysSo) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const std::string package = setup.program + "/patch.dat";
  const std::string good = test::readFile(package);

  // A large member that does not compress, so the new package is far larger
  // than the old one and a write can fail inside it.
  std::mt19937 random(11);
  std::string noise(1 << 20, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  test::writeFile(setup.program + "/extra/noise.bin", noise);
  TempDir sizing;
  fs::copy(setup.program, sizing / "program", fs::copy_options::recursive);
  ASSERT_EQ(test::runCommand("cd / && VHPATCH_UI=terminal '" + (sizing / "program/vhpatch") + "' make").status, 0);
  const auto whole = static_cast<rlim_t>(fileSize(sizing / "program/patch.dat"));

  const std::string where = GetParam().where;
  const rlim_t limit = where == "first members" ? 4096 : where == "large member" ? whole / 2 : whole - 1;
  test::Limits limits;
  limits.fileSize = limit;
  const auto run = test::runMeasured(setup, GetParam().mode, "", limits).result;

  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(contains(run.err, "failed to write:patch.dat")) << run.err;
  EXPECT_FALSE(contains(run.err, "Patch gerenating is done!")) << run.err;
  EXPECT_FALSE(contains(run.err, "data written")) << run.err;
  EXPECT_TRUE(test::readFile(package) == good) << "the previous package was replaced";
  EXPECT_FALSE(fs::exists(package + ".building"));
  expectGameUntouched(setup);
}

INSTANTIATE_TEST_SUITE_P(Limits, BuildWriteFailure,
                         ::testing::Values(WriteFailure{"make", "first members"}, WriteFailure{"make", "large member"},
                                           WriteFailure{"make", "directory at close"},
                                           WriteFailure{"makeandapply", "large member"},
                                           WriteFailure{"makeandapply", "directory at close"}),
                         [](const auto& info) {
                           std::string name = std::string(info.param.mode) + "_" + info.param.where;
                           for (char& c : name) c = c == ' ' ? '_' : c;
                           return name;
                         });

// ---- a folder that is no working tree

struct NoWorkingTree {
  const char* mode;
  bool packageThere;  // a package a build would replace
};

void PrintTo(const NoWorkingTree& c, std::ostream* out) {
  *out << c.mode << (c.packageThere ? " beside a package" : " with no package");
}

class BuildWithoutWorkingTree : public ::testing::TestWithParam<NoWorkingTree> {};

// Without data/ a build refuses only where it would replace a package with
// one that has no scenes; with no package there the tree builds as it
// stands, its scene list empty.
TEST_P(BuildWithoutWorkingTree, RefusesOnlyWhereAPackageWouldBeLost) {
  const NoWorkingTree& c = GetParam();
  Installation setup;
  const std::string package = setup.program + "/patch.dat";
  if (c.packageThere) {
    ASSERT_EQ(setup.vhpatch("make").status, 0);
  }
  const std::string before = c.packageThere ? test::readFile(package) : "";
  // A player's folder: the program and at most its package.
  for (const char* folder : {"data", "trans", "extra", "addon"}) fs::remove_all(setup.program + "/" + folder);

  const auto run = setup.vhpatch(c.mode);
  EXPECT_FALSE(fs::exists(package + ".building"));
  expectGameUntouched(setup);
  if (c.packageThere) {
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(contains(run.err, "no working tree here: data/ is missing")) << run.err;
    EXPECT_FALSE(contains(run.err, "Patch gerenating is done!")) << run.err;
    EXPECT_FALSE(contains(run.err, "data written")) << run.err;
    EXPECT_TRUE(test::readFile(package) == before) << "the package was replaced";
    return;
  }
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(contains(run.err, "no working tree here")) << run.err;
  EXPECT_TRUE(contains(run.err, c.mode == std::string("make") ? "Patch gerenating is done!" : "data written")) << run.err;
  EXPECT_EQ(test::runCommand("unzip -Z1 '" + package + "'").out, "patchscene.lst\nextra.lst\naddon.lst\n");
  EXPECT_EQ(test::runCommand("unzip -p '" + package + "' patchscene.lst").out, "");
}

INSTANTIATE_TEST_SUITE_P(Modes, BuildWithoutWorkingTree,
                         ::testing::Values(NoWorkingTree{"make", true}, NoWorkingTree{"makeandapply", true},
                                           NoWorkingTree{"make", false}, NoWorkingTree{"makeandapply", false}));

TEST(BuildWorkingTree, AnEmptyDataFolderStillBuilds) {
  Installation setup;
  for (const char* folder : {"data", "trans", "extra", "addon"}) fs::remove_all(setup.program + "/" + folder);
  fs::create_directory(setup.program + "/data");
  const auto run = setup.vhpatch("make");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(contains(run.err, "Patch gerenating is done!")) << run.err;
  const auto listed = test::runCommand("unzip -Z1 '" + setup.program + "/patch.dat'");
  EXPECT_EQ(listed.out, "patchscene.lst\nextra.lst\naddon.lst\n");
}

// Sources are only read, so files the builder may not write are packed as
// they are. Root may write any file, so it builds as an unprivileged user.
TEST(BuildWorkingTree, SourcesTheBuilderMayNotWriteArePacked) {
  Installation setup;
  std::string command = setup.command("make");
  if (geteuid() == 0) {
    ASSERT_EQ(test::runCommand("chown -R 65534:65534 '" + setup.dir.path() + "'").status, 0);
    command.insert(command.find("'" + setup.program), "setpriv --reuid=65534 --regid=65534 --clear-groups ");
  }
  std::vector<std::string> sources;
  for (const char* folder : {"trans", "extra", "addon"}) {
    for (const auto& entry : fs::directory_iterator(setup.program + "/" + folder)) {
      if (!entry.is_regular_file()) continue;
      fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      sources.push_back(fs::relative(entry.path(), setup.program).string());
    }
  }
  ASSERT_FALSE(sources.empty());
  const auto run = test::runCommand(command);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto members = test::packageMembers(setup.program + "/patch.dat");
  for (const std::string& source : sources) {
    if (tXARC::getExtName(source) != "trz" && source.starts_with("trans/")) continue;  // not packed
    const auto member = std::find_if(members.begin(), members.end(), [&](const auto& m) { return m.first == source; });
    ASSERT_NE(member, members.end()) << source;
    EXPECT_TRUE(member->second == test::readFile(setup.program + "/" + source)) << source;
  }
}

// ---- what loading a package may cost

struct LoadCase {
  const char* name;
  std::string (*entry)(size_t number);  // one translation entry's lines
  size_t count;                         // how many of them the scene's table holds
  bool refused;
};

void PrintTo(const LoadCase& load, std::ostream* out) { *out << load.name; }

class PackageLoadCost : public ::testing::TestWithParam<LoadCase> {};

TEST_P(PackageLoadCost, StaysWithinItsBoundOrIsRefused) {
  const LoadCase& param = GetParam();
  Installation setup;
  ASSERT_TRUE(fileExists(setup.program + "/data/Docks.orz"));
  // Without add-ons the scene's table holds exactly the entries written.
  fs::remove_all(setup.program + "/addon");
  std::string table;
  for (size_t i = 0; i < param.count; ++i) table += param.entry(i);
  test::writeFile(setup.program + "/trans/Docks.trz", table);
  table = std::string();
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const int64_t packageSize = fileSize(setup.program + "/patch.dat");
  RecordProperty("package_bytes", std::to_string(packageSize));

  // Closed at once: loading only.
  const auto run = test::runMeasured(setup, "", "");
  if (param.refused) {
    EXPECT_EQ(run.result.status, 255) << run.result.err;
    EXPECT_EQ(run.result.out, "error in reading patch:patch.dat\n");
    EXPECT_TRUE(contains(run.result.err, "patch too large to load:trans/Docks.trz")) << run.result.err;
  } else {
    EXPECT_EQ(run.result.status, 0) << run.result.out << run.result.err;
  }
  expectGameUntouched(setup);

#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "peak memory is not measured under AddressSanitizer, whose shadow memory dwarfs the program's";
#else
  ASSERT_GT(run.peakKiB, 0);
  RecordProperty("peak_kib", std::to_string(run.peakKiB));
  // 64 MiB and eight times the package's size on disk.
  const long boundKiB = static_cast<long>(((64 << 20) + 8 * packageSize) / 1024);
  EXPECT_LE(run.peakKiB, boundKiB) << "package of " << packageSize << " bytes";
#endif
}

// Padding that the reader ignores and deflate cannot squeeze, so that the
// package's size earns the memory the entries take and only their
// count can refuse them.
std::string paddedEntry(size_t number) {
  uint64_t mixed = number * 0x9E3779B97F4A7C15ull;
  std::string padding = "; ";
  for (int k = 0; k < 24; ++k) {
    mixed ^= mixed >> 29;
    mixed *= 0xBF58476D1CE4E5B9ull;
    padding += "0123456789abcdef"[mixed >> 60];
  }
  return padding + "\r\nid=Docks010001\r\n>>\r\n";
}

std::string emptyEntry(size_t) { return ">>\n"; }
// Values the installer can write, which are held: from a small package
// they soon pass its bound.
std::string heldValue(size_t) { return "id=Docks010001\r\ntype=speech\r\nvalue=" + std::string(60'000, 'x') + "\r\n>>\r\n"; }
// One byte longer than a text length can say: counted and skipped, never
// held, however many there are.
std::string overlongValue(size_t) {
  return "id=Docks010001\r\ntype=speech\r\nvalue=" + std::string(65'536, 'x') + "\r\n>>\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Tables, PackageLoadCost,
    ::testing::Values(LoadCase{"EmptyEntriesOf53MB", emptyEntry, 53'000'000 / 3, true},
                      // Past the million a scene once held at most, up to the cap.
                      LoadCase{"AMillionAndAHalfEntries", paddedEntry, 1'500'000, false},
                      LoadCase{"TwoMillionAndOneEntries", paddedEntry, 2'000'001, true},
                      LoadCase{"HeldValuesOf120MBFromASmallPackage", heldValue, 2'000, true},
                      LoadCase{"ValuesTooLongToWriteOf130MB", overlongValue, 2'000, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vh
