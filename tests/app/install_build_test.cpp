// The real vhpatch building its package where that can fail: a file system
// that refuses the package's bytes, a folder that is no working tree, and
// packages whose translation tables would unfold past what their size
// allows.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <random>

#include "common/files.h"
#include "tests/app/installation.h"
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

class BuildWithoutWorkingTree : public ::testing::TestWithParam<const char*> {};

TEST_P(BuildWithoutWorkingTree, RefusesAndKeepsThePackage) {
  Installation setup;
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const std::string package = setup.program + "/patch.dat";
  const std::string good = test::readFile(package);
  // A player's folder: the program and its package, nothing else.
  for (const char* folder : {"data", "trans", "extra", "addon"}) fs::remove_all(setup.program + "/" + folder);

  const auto run = setup.vhpatch(GetParam());
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(contains(run.err, "no working tree here: data/ is missing")) << run.err;
  EXPECT_FALSE(contains(run.err, "Patch gerenating is done!")) << run.err;
  EXPECT_FALSE(contains(run.err, "data written")) << run.err;
  EXPECT_TRUE(test::readFile(package) == good) << "the package was replaced";
  EXPECT_FALSE(fs::exists(package + ".building"));
  expectGameUntouched(setup);
}

INSTANTIATE_TEST_SUITE_P(Modes, BuildWithoutWorkingTree, ::testing::Values("make", "makeandapply"));

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
// package's size earns the memory a million entries take and only their
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
                      LoadCase{"AMillionEntries", paddedEntry, 1'000'000, false},
                      LoadCase{"AMillionAndOneEntries", paddedEntry, 1'000'001, true},
                      LoadCase{"HeldValuesOf120MBFromASmallPackage", heldValue, 2'000, true},
                      LoadCase{"ValuesTooLongToWriteOf130MB", overlongValue, 2'000, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vh
