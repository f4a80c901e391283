// The real vhpatch with packages it must refuse while they load: archive
// paths that leave the game folder, spoilt members, a file cut short; and one
// with a hundred thousand members, which must load without a scan per member.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/files.h"
#include "tests/app/installation.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;
using Members = std::vector<std::pair<std::string, std::string>>;

class InstallPackage : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto made = setup.vhpatch("make");
    ASSERT_EQ(made.status, 0) << made.err;
    clean = test::readFile(package);
    members = test::packageMembers(package);
    // An archive beside the game folder that a package could aim at.
    test::makeFolders(setup.dir / "sample/outside");
    test::writeFile(victim, test::readFile(setup.original + "/Global/Global.xarc"));
  }

  // Refused while loading: the message, then the fatal error, and no file of
  // the game or beside it changed.
  void expectRefused(const test::CommandResult& result, const std::string& message) const {
    EXPECT_EQ(result.status, 255) << message;
    EXPECT_EQ(result.out, "error in reading patch:patch.dat\n") << message;
    EXPECT_EQ(result.err, message + "\n");
    for (const std::string& archive : setup.archives()) {
      EXPECT_TRUE(test::readFile(setup.game + "/" + archive) == test::readFile(setup.original + "/" + archive))
          << archive << " changed under " << message;
    }
    EXPECT_FALSE(fileExists(setup.game + "/readme_cn.txt")) << message;
    EXPECT_TRUE(test::readFile(victim) == test::readFile(setup.original + "/Global/Global.xarc")) << message;
  }

  Installation setup{"", 3, "--scenes 3 --subs 2"};
  std::string package = setup.program + "/patch.dat";
  std::string victim = setup.dir / "sample/outside/victim.xarc";
  std::string clean;
  Members members;
};

TEST_F(InstallPackage, AScenePathLeavingTheGameFolderRefusesThePackage) {
  std::vector<std::string> paths = test::kPathsOutsideTheFolder;
  paths.push_back(victim);
  for (const std::string& path : paths) {
    Members aimed = members;
    for (auto& [name, bytes] : aimed) {
      // Listed first, so without the refusal the other scenes would follow.
      if (name == "patchscene.lst") bytes = "scene=Aaa\r\nsub=99\r\npath=" + path + "\r\n>>\r\n" + bytes;
    }
    test::writePackage(package, aimed);
    expectRefused(setup.vhpatch("", "\n"), "refused archive path outside the game folder:" + path);
  }
  // The same members without the bad block install as ever.
  test::writePackage(package, members);
  const auto installed = setup.vhpatch("", "\n");
  EXPECT_EQ(installed.status, 0) << installed.err;
  test::expectPatched(setup);
}

TEST_F(InstallPackage, TheBuilderRefusesAnIndexFileLeadingOut) {
  struct Case {
    std::string file, index, path;
  };
  const std::vector<Case> cases = {
      {"Zed.orz", "-sub-\r\nid=1\r\nid=..\r\n", "Zed/../...xarc"},
      {"Zed.orz", "-sub-\r\nid=..\\..\\outside\r\n", "Zed/..\\..\\outside/..\\..\\outside.xarc"},
      {"C:evil.orz", "", "C:evil/C:evil.xarc"},
  };
  for (const Case& c : cases) {
    test::writeFile(setup.program + "/data/" + c.file, c.index);
    for (const char* mode : {"make", "makeandapply"}) {
      const auto result = setup.vhpatch(mode, "\n");
      EXPECT_EQ(result.status, 1) << mode << " " << c.path;
      EXPECT_EQ(result.err, "refused archive path outside the game folder:" + c.path + "\n") << mode;
      EXPECT_TRUE(test::readFile(package) == clean) << "patch.dat replaced by " << mode << " " << c.path;
      EXPECT_FALSE(fileExists(package + ".building"));
      for (const std::string& archive : setup.archives()) {
        EXPECT_TRUE(test::readFile(setup.game + "/" + archive) == test::readFile(setup.original + "/" + archive));
      }
    }
    fs::remove(setup.program + "/data/" + c.file);
  }
}

// Archive paths written with backslashes, as a Windows tool writes them,
// name the same files: they install, the next installation finds every
// archive as it left it, and the uninstallation puts them back.
TEST_F(InstallPackage, ArchivePathsWithBackslashesNameTheSameFiles) {
  Members backslashed = members;
  size_t paths = 0;
  for (auto& [name, bytes] : backslashed) {
    if (name != "patchscene.lst") continue;
    for (size_t line = bytes.find("path="); line != std::string::npos; line = bytes.find("\npath=", line + 1)) {
      for (size_t at = line; at < bytes.size() && bytes[at] != '\r'; ++at) {
        if (bytes[at] == '/') bytes[at] = '\\';
      }
      ++paths;
    }
    ASSERT_NE(bytes.find("path=Global\\2\\2.xarc"), std::string::npos) << bytes;
  }
  ASSERT_GT(paths, 0u);
  test::writePackage(package, backslashed);
  const auto installed = setup.vhpatch("", "\n");
  ASSERT_EQ(installed.status, 0) << installed.err;
  test::expectPatched(setup);

  const auto again = setup.vhpatch("", "\n");
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.err.find("installed: 0 archives translated, 0 extra files copied, "), std::string::npos) << again.err;
  const auto undone = setup.vhpatch("uninstall");
  EXPECT_EQ(undone.status, 0) << undone.err;
  EXPECT_TRUE(test::tree(setup.game) == test::tree(setup.original));
}

TEST_F(InstallPackage, ADamagedPackageIsRefusedBeforeAnythingIsWritten) {
  for (const char* member : {"patchscene.lst", "trans/Global.trz", "addon.lst", "addon/override.txt", "extra.lst",
                             "extra/font.cfg"}) {
    test::writeFile(package, clean);
    test::damageMember(package, member);
    expectRefused(setup.vhpatch("", "\n"), std::string("damaged patch member:") + member);
  }
  // Cut inside the members, and just before the record that ends the file.
  for (size_t length : {clean.size() / 2, clean.size() - 22}) {
    test::writeFile(package, clean.substr(0, length));
    expectRefused(setup.vhpatch("", "\n"), "patch file damaged");
  }
}

TEST_F(InstallPackage, AHundredThousandMembersLoadWithoutAScanPerMember) {
  // Half add-ons, read while loading, and half extra files, checked whole
  // while loading; the last extra file is spoilt in the second run, so the
  // refusal shows that every one of them was reached.
  constexpr int kEach = 50000;
  Members many = members;
  std::string addons, extras;
  for (int i = 0; i < kEach; ++i) {
    const std::string n = std::to_string(i);
    addons += "bulk" + n + ".txt\r\n";
    many.emplace_back("addon/bulk" + n + ".txt", "id=Nowhere990001\ntype=speech\nvalue=" + n + "\n");
    extras += "bulk/" + n + ".txt\r\n";
    many.emplace_back("extra/bulk/" + n + ".txt", "extra " + n + "\n");
  }
  for (auto& [name, bytes] : many) {
    if (name == "addon.lst") bytes += addons;
    if (name == "extra.lst") bytes += extras;
  }
  test::writePackage(package, many);
  // A look-up that walks the directory makes this hours of processor time;
  // the index makes it a few seconds.
  const std::string limited = "ulimit -t 60 && " + (test::kManyAllocations + setup.command(""));
  const auto loaded = test::runCommand(limited);
  EXPECT_EQ(loaded.status, 0) << loaded.err;
  EXPECT_EQ(loaded.out, "");

  const std::string last = "extra/bulk/" + std::to_string(kEach - 1) + ".txt";
  test::damageMember(package, last);
  const auto refused = test::runCommand(limited);
  EXPECT_EQ(refused.status, 255);
  EXPECT_EQ(refused.err, "damaged patch member:" + last + "\n");
}

}  // namespace
}  // namespace vh
