// Pictures through the package with the real programs: a scene picture
// taken out of the game with vhtool, edited, put into images/ of the working
// tree and installed by vhpatch; pictures the builder must refuse; image
// entries that refuse the package while it loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/files.h"
#include "formats/scene_list.h"
#include "formats/xarc.h"
#include "pictures/picture_files.h"
#include "pictures/png.h"
#include "tests/recording_host.h"
#include "tests/app/installation.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Installation;

constexpr const char* kPicture = "scene.XMG";  // every scene's own archive holds one

class InstallImages : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& name : listFolder(setup.program + "/data", true)) {
      if (name.size() > 4 && name.substr(name.size() - 4) == ".orz" && name != "Global.orz") {
        scene = name.substr(0, name.size() - 4);
        break;
      }
    }
    ASSERT_FALSE(scene.empty());
  }

  test::CommandResult vhtool(const std::string& args) const {
    return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args);
  }

  // The scene picture of the scene's own archive as a translator gets it:
  // taken out and decoded by vhtool, then edited: an opaque red patch and a
  // transparent one, which must come back as the mask colour.
  std::string editedPicture(const std::string& sceneName) const {
    const std::string xmg = work / (sceneName + ".xmg");
    const std::string png = work / (sceneName + ".png");
    auto ran = vhtool("extract '" + setup.original + "/" + sceneArchivePath(sceneName) + "' " + kPicture + " '" + xmg + "'");
    EXPECT_EQ(ran.status, 0) << ran.err;
    ran = vhtool("xmg2png '" + xmg + "' '" + png + "'");
    EXPECT_EQ(ran.status, 0) << ran.err;
    Picture picture = readPicture(png).value();
    EXPECT_GE(picture.width, 16);
    EXPECT_GE(picture.height, 16);
    for (int y = 2; y < 9; ++y) {
      for (int x = 3; x < 12; ++x) {
        uint8_t* p = &picture.rgba[(static_cast<size_t>(y) * picture.width + x) * 4];
        const bool clear = x > 8;
        p[0] = 255, p[1] = 0, p[2] = 0, p[3] = clear ? 0 : 255;
      }
    }
    writePicture(test::localFiles(), png, picture);
    return png;
  }

  std::string png2xmg(const std::string& png) const {
    const std::string out = png + ".xmg";
    const auto ran = vhtool("png2xmg '" + png + "' '" + out + "'");
    EXPECT_EQ(ran.status, 0) << ran.err;
    return test::readFile(out);
  }

  void expectGameUntouched() const {
    for (const std::string& archive : setup.archives()) {
      EXPECT_TRUE(test::readFile(setup.game + "/" + archive) == test::readFile(setup.original + "/" + archive))
          << archive << " was changed";
    }
  }

  Installation setup{"", 3, "--scenes 3 --subs 2"};
  std::string package = setup.program + "/patch.dat";
  std::string images = setup.program + "/images";
  test::TempDir work;
  std::string scene;  // a scene other than Global
};

TEST_F(InstallImages, AnEditedPictureInstallsAsPng2xmgMakesIt) {
  // What the same working tree installs without pictures.
  auto ran = setup.vhpatch("makeandapply");
  ASSERT_EQ(ran.status, 0) << ran.err;
  const std::string withoutImages = setup.dir / "without-images";
  fs::copy(setup.game, withoutImages, fs::copy_options::recursive);
  fs::remove_all(setup.game);
  fs::copy(setup.original, setup.game, fs::copy_options::recursive);

  // One picture as an edited PNG, one already encoded, packed as it is.
  std::vector<std::pair<std::string, std::string>> expected;  // archive, installed picture
  const std::string png = editedPicture(scene);
  test::makeFolders(images + "/" + scene + "/99");
  fs::copy_file(png, images + "/" + scene + "/99/" + kPicture + ".png");
  expected.emplace_back(sceneArchivePath(scene), png2xmg(png));
  const std::string globalXmg = png2xmg(editedPicture("Global"));
  test::makeFolders(images + "/Global/99");
  test::writeFile(images + "/Global/99/" + std::string(kPicture) + ".xmg", globalXmg);
  expected.emplace_back(sceneArchivePath("Global"), globalXmg);

  ran = setup.vhpatch("makeandapply");
  ASSERT_EQ(ran.status, 0) << ran.err;
  ASSERT_LT(std::string("Global"), scene);  // the list follows the folders' byte order
  const auto entry = [](const std::string& sceneName, const std::string& file) {
    return "name=" + sceneName + "/99/" + file + "\r\norigin=" + kPicture + "\r\nscene=" + sceneName +
           "\r\nsub=99\r\n>>\r\n";
  };
  const auto members = test::packageMembers(package);
  const auto member = [&](const std::string& name) {
    for (const auto& [n, bytes] : members) {
      if (n == name) return bytes;
    }
    return std::string("<missing>");
  };
  EXPECT_EQ(member("images/images.lst"),
            entry("Global", std::string(kPicture) + ".xmg") + entry(scene, std::string(kPicture) + ".png"));
  EXPECT_TRUE(member("images/" + scene + "/99/scene.XMG.xmg") == expected[0].second);

  for (const std::string& archive : setup.archives()) {
    const std::string installed = test::readFile(setup.game + "/" + archive);
    std::string wanted = test::readFile(withoutImages + "/" + archive);
    for (const auto& [pictured, picture] : expected) {
      if (pictured != archive) continue;
      tXARC original;
      ASSERT_EQ(original.open(setup.original + "/" + archive, test::standardError()), 1);
      EXPECT_FALSE(original.findFile(kPicture)->bank->toString() == picture) << "the edit changed nothing";
      // The install without pictures, with only the picture's bytes swapped.
      tXARC reference;
      ASSERT_EQ(reference.open(withoutImages + "/" + archive, test::standardError()), 1);
      reference.findFile(kPicture)->replaceBank(ByteBuffer::fromString(picture));
      wanted = test::saved(reference);
    }
    EXPECT_TRUE(installed == wanted) << archive << " differs";
  }
}

TEST_F(InstallImages, TheBuilderRefusesPicturesItCannotPackAndKeepsThePackage) {
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const std::string clean = test::readFile(package);
  const std::string xmg = png2xmg(editedPicture(scene));
  Picture wide;
  wide.width = 16385;
  wide.height = 1;
  wide.rgba.assign(static_cast<size_t>(wide.width) * 4, 0xFF);
  const std::string own = "images/" + scene + "/99/";
  struct Case {
    std::vector<std::pair<std::string, std::string>> files;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{{own + "scene.XMG.png", "no picture"}}, "failed to read picture:" + own + "scene.XMG.png: not a PNG file"},
      {{{own + "wide.png", encodePng(wide)}},
       "failed to read picture:" + own + "wide.png: PNG picture of 16385 x 1 pixels is larger than 16384 on a side"},
      {{{own + "scene.XMG.xmg", xmg.substr(0, 20)}},
       "failed to read picture:" + own + "scene.XMG.xmg: not an XMG image (shorter than its header)"},
      {{{own + "SCENE.xmg.xmg", xmg}, {own + "scene.XMG.png", "never read"}},
       "two pictures for one archive member:" + own + "scene.XMG.png"},
      {{{"images/Nowhere/99/scene.XMG.png", "x"}},
       "picture for a scene or sub-scene that data/ does not list:images/Nowhere"},
      {{{"images/" + scene + "/42/scene.XMG.png", "x"}},
       "picture for a scene or sub-scene that data/ does not list:images/" + scene + "/42"},
  };
  for (const Case& c : cases) {
    for (const auto& [path, bytes] : c.files) {
      test::makeFolders(fs::path(setup.program + "/" + path).parent_path().string());
      test::writeFile(setup.program + "/" + path, bytes);
    }
    for (const char* mode : {"make", "makeandapply"}) {
      const auto result = setup.vhpatch(mode);
      EXPECT_EQ(result.status, 1) << mode << " " << c.message;
      EXPECT_EQ(result.err, c.message + "\n") << mode;
      EXPECT_TRUE(test::readFile(package) == clean) << "patch.dat replaced by " << mode << " " << c.message;
      EXPECT_FALSE(fileExists(package + ".building"));
    }
    fs::remove_all(images);
  }
  expectGameUntouched();
}

// Files that are no picture for an archive member are named and left out;
// the pictures beside them are packed as if they were not there.
TEST_F(InstallImages, FilesThatAreNoPictureForAMemberAreLeftOutWithAWarning) {
  const std::string xmg = png2xmg(editedPicture(scene));
  const std::string own = "images/" + scene + "/99/";
  const std::string warning = "left out, not a picture at images/<scene>/<sub-scene>/<member>.png or .xmg:";
  struct Case {
    std::string file;     // written into the working tree
    std::string leftOut;  // what the warning names
  };
  const std::vector<Case> cases = {
      {"images/notes.txt", "images/notes.txt"},
      {"images/" + scene + "/readme.txt", "images/" + scene + "/readme.txt"},
      {own + "scene.XMG.bmp", own + "scene.XMG.bmp"},
      {own + "Thumbs.db", own + "Thumbs.db"},
      {own + ".png", own + ".png"},
      {own + "deeper/scene.XMG.png", own + "deeper"},
  };
  for (const bool withPicture : {false, true}) {
    // The package the tree makes without the stray file.
    fs::remove_all(images);
    if (withPicture) {
      test::makeFolders(setup.program + "/" + own);
      test::writeFile(setup.program + "/" + own + "scene.XMG.xmg", xmg);
    }
    ASSERT_EQ(setup.vhpatch("make").status, 0);
    const auto clean = test::packageMembers(package);
    EXPECT_EQ(std::count_if(clean.begin(), clean.end(), [](const auto& m) { return m.first == "images/images.lst"; }),
              withPicture ? 1 : 0);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.leftOut + (withPicture ? " beside a picture" : ""));
      test::makeFolders(fs::path(setup.program + "/" + c.file).parent_path().string());
      test::writeFile(setup.program + "/" + c.file, "no picture");
      const auto result = setup.vhpatch("make");
      EXPECT_EQ(result.status, 0) << result.err;
      EXPECT_EQ(result.err, warning + c.leftOut + "\nPatch gerenating is done!\n");
      EXPECT_TRUE(test::packageMembers(package) == clean) << "the package is not the one the tree makes without it";
      fs::remove_all(setup.program + "/" + c.leftOut);
    }
  }
  expectGameUntouched();
}

TEST_F(InstallImages, ABadImageEntryRefusesThePackageWhileItLoads) {
  ASSERT_EQ(setup.vhpatch("make").status, 0);
  const auto clean = test::packageMembers(package);
  const std::string member = "images/" + scene + "/99/scene.XMG.xmg";
  const std::string listed = "name=" + scene + "/99/scene.XMG.png\r\norigin=scene.XMG\r\nscene=" + scene + "\r\nsub=";
  struct Case {
    std::string list;
    bool withMember;
    std::string message;
  };
  const std::vector<Case> cases = {
      {listed + "42\r\n>>\r\n", true, "Invalid image patch:" + scene + "/99/scene.XMG.png"},
      {"name=a.png\r\nscene=Nowhere\r\nsub=99\r\n>>\r\n", true, "Invalid image patch:a.png"},
      {listed + "99\r\n>>\r\n", false, "Image patch not found:" + scene + "/99/scene.XMG.png"},
      {listed + "99\r\n>>\r\n", true, "damaged patch member:" + member},
  };
  for (const Case& c : cases) {
    auto members = clean;
    members.emplace_back("images/images.lst", c.list);
    if (c.withMember) members.emplace_back(member, std::string(4096, 'x'));
    test::writePackage(package, members);
    if (c.message.rfind("damaged", 0) == 0) test::damageMember(package, member);
    const auto result = setup.vhpatch("", "\n");
    EXPECT_EQ(result.status, 255) << c.message;
    EXPECT_EQ(result.out, "error in reading patch:patch.dat\n") << c.message;
    EXPECT_EQ(result.err, c.message + "\n");
    expectGameUntouched();
  }
}

}  // namespace
}  // namespace vh
