#include "pictures/picture_files.h"

#include <gtest/gtest.h>

#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

TEST(PictureFilesTest, KindFollowsTheExtensionInAnyCase) {
  EXPECT_EQ(pictureKindOf("a/b.png"), PictureKind::Png);
  EXPECT_EQ(pictureKindOf("B.PnG"), PictureKind::Png);
  EXPECT_EQ(pictureKindOf("c.ppm"), PictureKind::Ppm);
  EXPECT_EQ(pictureKindOf("c.bmp"), std::nullopt);
  EXPECT_EQ(pictureKindOf("png"), std::nullopt);
  EXPECT_EQ(pictureKindOf("dir.png/file"), std::nullopt);
}

TEST(PictureFilesTest, FilesNameThePathInTheirErrors) {
  TempDir dir;
  try {
    readPicture(dir / "missing.png");
    FAIL() << "no error";
  } catch (const PictureError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.png"), std::string::npos);
  }
  EXPECT_THROW(readPicture(dir / "a.gif"), PictureError);
  Picture p;
  p.width = p.height = 1;
  p.rgba = {1, 2, 3, 255};
  writePicture(test::localFiles(), dir / "a.ppm", p);
  EXPECT_EQ(readPicture(dir / "a.ppm").rgba, p.rgba);
  EXPECT_THROW(writePicture(test::localFiles(), dir / "a.jpg", p), PictureError);
  EXPECT_THROW(writePicture(test::localFiles(), dir / "no/such/folder/a.png", p), PictureError);
}
}  // namespace
}  // namespace vh
