#include "pictures/png.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include "tests/pictures/picture_fixture.h"

namespace vh {
namespace {

using test::rgbaOf;

// A PNG of the given libpng simplified format, written by libpng itself.
std::string pngOf(int width, int height, png_uint_32 format, const std::vector<uint8_t>& pixels,
                  const std::vector<uint8_t>& colourMap = {}) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = format;
  if (!colourMap.empty()) image.colormap_entries = static_cast<png_uint_32>(colourMap.size() / 3);
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, colourMap.empty() ? nullptr : colourMap.data()));
  std::string out(size, '\0');
  EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0,
                                        colourMap.empty() ? nullptr : colourMap.data()));
  out.resize(size);
  return out;
}

TEST(Png, EveryColourTypeComesOutAsRgba) {
  {
    const Picture p = decodePng(pngOf(2, 1, PNG_FORMAT_GRAY, {0, 200})).value();
    EXPECT_EQ(rgbaOf(p, 1, 0), (std::vector<uint8_t>{200, 200, 200, 255}));
  }
  {
    const Picture p = decodePng(pngOf(2, 1, PNG_FORMAT_GA, {50, 0, 60, 128})).value();
    EXPECT_EQ(rgbaOf(p, 0, 0)[3], 0);
    EXPECT_EQ(rgbaOf(p, 1, 0)[0], 60);
    EXPECT_EQ(rgbaOf(p, 1, 0)[3], 128);
  }
  {
    const Picture p = decodePng(pngOf(1, 2, PNG_FORMAT_RGB, {1, 2, 3, 4, 5, 6})).value();
    EXPECT_EQ(rgbaOf(p, 0, 1), (std::vector<uint8_t>{4, 5, 6, 255}));
  }
  {
    const Picture p =
        decodePng(pngOf(2, 2, PNG_FORMAT_RGBA, {1, 2, 3, 0, 4, 5, 6, 7, 8, 9, 10, 255, 11, 12, 13, 14})).value();
    EXPECT_EQ(p.width, 2);
    EXPECT_EQ(p.height, 2);
    EXPECT_EQ(rgbaOf(p, 0, 0), (std::vector<uint8_t>{1, 2, 3, 0}));
    EXPECT_EQ(rgbaOf(p, 1, 1), (std::vector<uint8_t>{11, 12, 13, 14}));
  }
  {
    // A palette of three colours.
    const Picture p =
        decodePng(pngOf(3, 1, PNG_FORMAT_RGB_COLORMAP, {2, 0, 1}, {10, 20, 30, 40, 50, 60, 70, 80, 90})).value();
    EXPECT_EQ(rgbaOf(p, 0, 0), (std::vector<uint8_t>{70, 80, 90, 255}));
    EXPECT_EQ(rgbaOf(p, 2, 0), (std::vector<uint8_t>{40, 50, 60, 255}));
  }
}

TEST(Png, RoundTrip) {
  Picture p;
  p.width = 3;
  p.height = 2;
  for (int i = 0; i < 24; ++i) p.rgba.push_back(static_cast<uint8_t>(i * 10));
  const Picture back = decodePng(encodePng(p)).value();
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.rgba, p.rgba);
  EXPECT_THROW(encodePng(Picture{}), PictureError);
}

TEST(Png, DamagedIsAnError) {
  const std::string good = pngOf(4, 4, PNG_FORMAT_RGB, std::vector<uint8_t>(48, 7));
  EXPECT_EQ(decodePng("not a png at all").fault().detail, "not a PNG file");
  for (size_t cut : {size_t{8}, size_t{20}, good.size() / 2, good.size() - 13}) {
    EXPECT_FALSE(decodePng(good.substr(0, cut)).ok()) << cut;
  }
  std::string corrupt = good;
  corrupt[40] = static_cast<char>(corrupt[40] ^ 0x5A);  // inside the image data: its checksum fails
  const Result<Picture> refused = decodePng(corrupt);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.fault().kind, FaultKind::Damaged);
}

// `png` with the header's sides changed and its checksum made right again,
// so that what a reader refuses is the size alone.
std::string withSides(std::string png, uint32_t width, uint32_t height) {
  for (int k = 0; k < 4; ++k) {
    png[16 + k] = static_cast<char>(width >> (24 - 8 * k));
    png[20 + k] = static_cast<char>(height >> (24 - 8 * k));
  }
  const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17));
  for (int k = 0; k < 4; ++k) png[29 + k] = static_cast<char>(crc >> (24 - 8 * k));
  return png;
}

TEST(Png, LargerThanAnImageCanBeIsRefused) {
  const std::string tiny = pngOf(1, 1, PNG_FORMAT_GRAY, {7});
  // Zeros deflate about as far as deflate goes: a real picture at the bound.
  const std::string flat = pngOf(16384, 256, PNG_FORMAT_GRAY, std::vector<uint8_t>(16384 * 256, 0));
  struct Case {
    std::string png;
    std::string error;  // empty when the picture decodes
  };
  const std::vector<Case> cases = {
      {withSides(tiny, 20000, 1), "PNG picture of 20000 x 1 pixels is larger than 16384 on a side"},
      {withSides(tiny, 1, 2000000), "PNG picture of 1 x 2000000 pixels is larger than 16384 on a side"},
      {withSides(tiny, 16384, 16384), "PNG picture of 16384 x 16384 pixels needs 268451840 bytes of image data, "
                                      "more than a file of " + std::to_string(tiny.size()) + " bytes can hold"},
      {withSides(tiny, 16384, 1), "PNG data damaged: "},  // within bounds, its data merely short
      {flat, ""},
  };
  for (const Case& c : cases) {
    const Result<Picture> decoded = decodePng(c.png);
    if (decoded) {
      EXPECT_EQ(c.error, "") << "decoded";
      EXPECT_EQ(decoded.value().rgba.size(), size_t{16384} * 256 * 4);
    } else {
      EXPECT_TRUE(decoded.fault().detail.starts_with(c.error) && !c.error.empty()) << decoded.fault().detail;
    }
  }
}
}  // namespace
}  // namespace vh
