#include "app/pictures.h"

#include <gtest/gtest.h>

#include "app/embedded_files.h"
#include "tests/pictures/picture_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::bmp;
using test::rgbAt;

TEST(Pictures, LoadPictureGoesByLocatorAndExtension) {
  test::TempDir dir;
  const std::string bytes = bmp(1, 1, {{0x123456}});
  test::writeFile(dir / "tiny.BMP", bytes);
  EXPECT_EQ(rgbAt(loadPicture(dir / "tiny.BMP"), 0, 0), 0x123456u);
  static const std::string embedded = bytes;
  registerEmbeddedFile("tiny-test.bmp", embedded);
  EXPECT_EQ(rgbAt(loadPicture("incbin::tiny-test.bmp"), 0, 0), 0x123456u);
  EXPECT_THROW(loadPicture("incbin::nothing.bmp"), PictureError);
  EXPECT_THROW(loadPicture(dir / "missing.jpg"), PictureError);
  test::writeFile(dir / "tiny.gif", bytes);
  EXPECT_THROW(loadPicture(dir / "tiny.gif"), PictureError);
}

TEST(EmbeddedFiles, LocatorsReachRegisteredFilesOnly) {
  static const std::string first = "first";
  static const std::string second = "second";
  registerEmbeddedFile("note.txt", first);
  EXPECT_EQ(findEmbeddedFile("incbin::note.txt"), std::optional<std::string_view>(first));
  registerEmbeddedFile("note.txt", second);
  EXPECT_EQ(findEmbeddedFile("incbin::note.txt"), std::optional<std::string_view>(second));
  EXPECT_FALSE(findEmbeddedFile("note.txt"));
  EXPECT_FALSE(findEmbeddedFile("incbin::NOTE.TXT"));
  EXPECT_FALSE(findEmbeddedFile("incbin::"));
  EXPECT_EQ(readLocator("incbin::note.txt"), std::optional<std::string>("second"));
  EXPECT_FALSE(readLocator("/no/such/file"));
}

TEST(FitCentred, KeepsTheAspectAndCentresWithBands) {
  // The map on a 1280 x 1024 screen: as tall as the screen, bands left and right.
  EXPECT_EQ(fitCentred(1000, 1415, 1280, 1024), (Rect{278, 0, 723, 1024}));
  // A wide picture in a tall area: bands above and below.
  EXPECT_EQ(fitCentred(200, 100, 100, 300), (Rect{0, 125, 100, 50}));
  // Same proportions: the whole area.
  EXPECT_EQ(fitCentred(313, 208, 626, 416), (Rect{0, 0, 626, 416}));
  // Degenerate sizes: nothing to draw, never a division by zero.
  EXPECT_EQ(fitCentred(0, 10, 100, 100), Rect{});
  EXPECT_EQ(fitCentred(10, 10, 0, 100), Rect{});
  // An extreme picture still gets at least one pixel.
  EXPECT_EQ(fitCentred(100000, 1, 100, 100).height, 1);
}

}  // namespace
}  // namespace vh
