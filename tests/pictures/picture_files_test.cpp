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
  for (const char* name : {"missing.png", "a.gif"}) {
    const Result<Picture> refused = readPicture(dir / name);
    ASSERT_FALSE(refused.ok()) << name;
    EXPECT_TRUE(refused.fault().detail.starts_with(dir / name + ": ")) << refused.fault().detail;
  }
  test::writeFile(dir / "bad.ppm", "P6 20000 1 255 ");
  const Result<Picture> damaged = readPicture(dir / "bad.ppm");
  ASSERT_FALSE(damaged.ok());
  EXPECT_EQ(damaged.fault().kind, FaultKind::BadSize);
  EXPECT_EQ(damaged.fault().detail.rfind(dir / "bad.ppm: PPM picture of 20000 x 1", 0), 0u) << damaged.fault().detail;
  Picture p;
  p.width = p.height = 1;
  p.rgba = {1, 2, 3, 255};
  writePicture(test::localFiles(), dir / "a.ppm", p);
  EXPECT_EQ(readPicture(dir / "a.ppm").value().rgba, p.rgba);
  EXPECT_THROW(writePicture(test::localFiles(), dir / "a.jpg", p), PictureError);
  EXPECT_THROW(writePicture(test::localFiles(), dir / "no/such/folder/a.png", p), PictureError);
}
}  // namespace
}  // namespace vh
