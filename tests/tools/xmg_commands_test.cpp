// The image commands, run as the real vhtool.
#include <gtest/gtest.h>

#include "common/byte_buffer.h"
#include "common/files.h"
#include "common/stream.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"
#include "tests/xmg/xmg_fixture.h"
#include "pictures/picture_files.h"

namespace vh {
namespace {

using test::Bytes;
using test::TempDir;

test::CommandResult vhtool(const std::string& args) { return test::runCommand("'" + test::binaryPath("vhtool") + "' " + args); }

std::vector<uint8_t> rgbaAt(const Picture& p, int x, int y) {
  const size_t at = (static_cast<size_t>(y) * p.width + x) * 4;
  return {p.rgba[at], p.rgba[at + 1], p.rgba[at + 2], p.rgba[at + 3]};
}

class XmgCommandsTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) { return dir / name; }
  std::string quoted(const std::string& name) { return "'" + path(name) + "'"; }
  TempDir dir;
};

TEST_F(XmgCommandsTest, PngToXmgToPngKeepsTransparencyAndColours) {
  // 3 x 3: a transparent column, a plain-colour column, a grey column.
  Picture picture;
  picture.width = picture.height = 3;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      const std::vector<uint8_t> px = x == 0 ? std::vector<uint8_t>{200, 10, 10, 0}
                                             : (x == 1 ? std::vector<uint8_t>{40, 50, 60, 255}
                                                       : std::vector<uint8_t>{90, 90, 90, 200});
      picture.rgba.insert(picture.rgba.end(), px.begin(), px.end());
    }
  }
  writePicture(test::localFiles(), path("in.png"), picture);
  auto r = vhtool("png2xmg " + quoted("in.png") + " " + quoted("out.xmg"));
  ASSERT_EQ(r.status, 0) << r.err;

  // The transparent pixels were written as the mask colour.
  const std::string xmg = test::readFile(path("out.xmg"));
  const PixelMap decoded = test::decodeXmg(xmg);
  EXPECT_EQ(decoded.getPixel(0, 2), test::rgb(0, 255, 255));

  r = vhtool("xmg2png " + quoted("out.xmg") + " " + quoted("back.png"));
  ASSERT_EQ(r.status, 0) << r.err;
  const Picture back = readPicture(path("back.png")).value();
  ASSERT_EQ(back.width, 3);
  ASSERT_EQ(back.height, 3);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(rgbaAt(back, 0, y)[3], 0) << y;
    // Blocks holding a mask pixel carry plain colour: exact.
    EXPECT_EQ(rgbaAt(back, 1, y), (std::vector<uint8_t>{40, 50, 60, 255})) << y;
    // Semi-transparent pixels are kept as colour; grey survives the YUV
    // conversion unchanged.
    EXPECT_EQ(rgbaAt(back, 2, y), (std::vector<uint8_t>{90, 90, 90, 255})) << y;
  }
}

TEST_F(XmgCommandsTest, XmgToPngMakesTheHeadersMaskColourTransparent) {
  // A mask colour of 10, 20, 30 in the header: one mask block, one colour
  // block that happens to hold the same colour, one colour block.
  const std::string xmg = Bytes(test::xmgHeader(6, 2, 10, 20, 30))
                              .u8(0x41)
                              .u8(0x82)
                              .str(std::string("\x0A\x14\x1E\x01\x02\x03\x01\x02\x03\x01\x02\x03", 12))
                              .str(std::string(12, '\x05'));
  test::writeFile(path("in.xmg"), xmg);
  auto r = vhtool("xmg2png " + quoted("in.xmg") + " " + quoted("out.PNG"));
  ASSERT_EQ(r.status, 0) << r.err;
  const Picture png = readPicture(path("out.PNG")).value();
  EXPECT_EQ(rgbaAt(png, 1, 1), (std::vector<uint8_t>{10, 20, 30, 0}));
  EXPECT_EQ(rgbaAt(png, 2, 0), (std::vector<uint8_t>{10, 20, 30, 0}));
  EXPECT_EQ(rgbaAt(png, 3, 0), (std::vector<uint8_t>{1, 2, 3, 255}));
  EXPECT_EQ(rgbaAt(png, 5, 1), (std::vector<uint8_t>{5, 5, 5, 255}));

  // A PPM keeps the mask colour as a colour.
  r = vhtool("xmg2png " + quoted("in.xmg") + " " + quoted("out.ppm"));
  ASSERT_EQ(r.status, 0) << r.err;
  const Picture ppm = readPicture(path("out.ppm")).value();
  EXPECT_EQ(rgbaAt(ppm, 0, 0), (std::vector<uint8_t>{10, 20, 30, 255}));
}

TEST_F(XmgCommandsTest, PpmToXmgAndBack) {
  std::string ppm = "P6\n4 2\n255\n";
  const std::string mask("\x00\xFF\xFF", 3);
  for (int i = 0; i < 4; ++i) ppm += mask;            // top row: mask colour
  for (int i = 0; i < 4; ++i) ppm += "\x64\x64\x64";  // bottom row: grey 100
  test::writeFile(path("in.ppm"), ppm);
  auto r = vhtool("png2xmg " + quoted("in.ppm") + " " + quoted("out.xmg"));
  ASSERT_EQ(r.status, 0) << r.err;
  // Each block has two mask pixels: plain colour, so the way back is exact.
  r = vhtool("xmg2png " + quoted("out.xmg") + " " + quoted("back.ppm"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::readFile(path("back.ppm")), ppm);
}

TEST_F(XmgCommandsTest, ErrorsAreReportedWithANonZeroStatus) {
  test::writeFile(path("ok.xmg"), Bytes(test::xmgHeader(2, 2)).u8(0x41));
  test::writeFile(path("damaged.xmg"), Bytes(test::xmgHeader(2, 2)).u8(0xFF));
  test::writeFile(path("huge.xmg"), test::xmgHeader(100000, 2));
  test::writeFile(path("short.xmg"), "\x03\x00");
  test::writeFile(path("bad.png"), "\x89PNG\r\n\x1a\nnot really");
  test::writeFile(path("bad.ppm"), "P6 2 2 255 \x01");
  struct Case {
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"xmg2png " + quoted("missing.xmg") + " " + quoted("o.png"), "cannot open"},
      {"xmg2png " + quoted("ok.xmg") + " " + quoted("o.bmp"), "unknown picture type"},
      {"xmg2png " + quoted("damaged.xmg") + " " + quoted("o.png"), "0xFF"},
      {"xmg2png " + quoted("huge.xmg") + " " + quoted("o.png"), "XMG image size"},
      {"xmg2png " + quoted("short.xmg") + " " + quoted("o.png"), "not an XMG image"},
      {"xmg2png " + quoted("ok.xmg") + " " + quoted("no/such/folder/o.png"), "cannot create"},
      {"png2xmg " + quoted("missing.png") + " " + quoted("o.xmg"), "cannot open"},
      {"png2xmg " + quoted("ok.xmg") + " " + quoted("o.xmg"), "unknown picture type"},
      {"png2xmg " + quoted("bad.png") + " " + quoted("o.xmg"), "PNG"},
      {"png2xmg " + quoted("bad.ppm") + " " + quoted("o.xmg"), "PPM"},
  };
  for (const Case& c : cases) {
    const auto r = vhtool(c.args);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
  }
  EXPECT_FALSE(fileExists(path("o.png")));
  EXPECT_FALSE(fileExists(path("o.xmg")));
  EXPECT_EQ(vhtool("xmg2png only-one").status, 2);
  EXPECT_EQ(vhtool("png2xmg a b c").status, 2);
  const auto help = vhtool("--help");
  EXPECT_NE(help.out.find("xmg2png"), std::string::npos);
  EXPECT_NE(help.out.find("png2xmg"), std::string::npos);
}

}  // namespace
}  // namespace vh
