// XMG: the game's image format.
//
//   0  int32  version     written as 3, never looked at
//   4  byte   mask_r      the mask colour, red, green, blue in file order
//   5  byte   mask_g
//   6  byte   mask_b
//   7  byte   void        written as 0, read and discarded
//   8  int32  width
//  12  int32  height
//  16  int32  linelength  written as width x 3, never looked at
//  20  int32  unknown3    carried as held
//  24  int32  unknown4    carried as held
//  28  runs until the end of the data
//
// The picture is cut into 2x2 blocks in raster order (top-left, top-right,
// bottom-left, bottom-right within a block). A run is an opcode giving a
// colour mode and a block count, followed by the payloads of its blocks:
//
//   0x00-0x3F            CYUV,  count = byte
//   0x40-0x7F            CVOID, count = low 6 bits
//   0x80-0xBF            cRGB,  count = low 6 bits
//   0xC0-0xFE, next byte mode = bits 5-4 (3 draws nothing),
//                        count = (low 4 bits << 8) | next byte
//   0xFF                 never written: the data is damaged
//
//   CYUV   6 bytes: Y0 Y1 Y2 Y3, Cr, Cb (chroma biased by 128)
//   CVOID  0 bytes: the four pixels take the mask colour
//   cRGB  12 bytes: red, green, blue of each pixel
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "common/fault.h"
#include "common/image_limits.h"
#include "common/pixel_map.h"
#include "common/stream.h"

namespace vh {

// Raised by toPixmap for data no valid XMG image holds: an opcode 0xFF or a
// size out of range, or a large size over data too short to reach every
// block. Short data is otherwise not damage: it decodes quietly.
class XmgError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest width and height an image may claim. The canvas is allocated
// from the header, so the header is checked against this before anything
// else happens.
inline constexpr int32_t kXmgMaxSide = kMaxImageSide;
// Above this many canvas pixels (about a 2048 x 2048 picture), an image
// whose data is too short to reach every block is refused as BadSize rather
// than drawn mostly white.
inline constexpr uint64_t kXmgShortDataPixels = 1u << 22;

class tXMGHeader {
 public:
  static constexpr size_t kSize = 28;

  int32_t version = 0;
  uint8_t mask_r = 0;
  uint8_t mask_b = 0;
  uint8_t mask_g = 0;
  uint8_t void_ = 0;  // the format's "void" byte; a keyword in C++
  int32_t width = 0;
  int32_t height = 0;
  int32_t linelength = 0;
  int32_t unknown3 = 0;
  int32_t unknown4 = 0;

  // Reads the 28 header bytes; a header cut short reads as zeros.
  int read(Stream& stream);
  // Version 3 and the mask colour 0, 255, 255; other fields untouched.
  int setupDefault();
  // Sets linelength to width x 3, then writes the 28 header bytes.
  int save(Stream& stream);
};

class tXMGLoader {
 public:
  static constexpr uint8_t CYUV = 0;
  static constexpr uint8_t CVOID = 1;
  static constexpr uint8_t cRGB = 2;

  // The header of the last image read; null until one has been.
  std::shared_ptr<tXMGHeader> header;

  int readheader(Stream& stream);
  // Decodes the image at the stream's position. The result is a window on
  // a white canvas ten pixels wider and taller, which takes the pixels of
  // odd-sized images that lie outside the picture. A size outside
  // 0..kXmgMaxSide is the fault BadSize, an opcode 0xFF the fault Damaged.
  Result<PixelMap> decode(Stream& stream);
  // decode(), throwing XmgError with the fault's detail.
  PixelMap toPixmap(Stream& stream);
};

// 0 below zero, `max` above it.
inline int64_t clampComponent(int64_t value, int64_t max) {
  return value < 0 ? 0 : (value > max ? max : value);
}

// Alpha in the top byte, blue in the bottom one.
inline uint32_t packARGB(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return packARGBValue(a, r, g, b);
}

// The decoder's conversion of one pixel (alpha 255).
uint32_t yuvToARGB(uint8_t y, int32_t cr, int32_t cb);

// The table-driven conversion, fixed-point in 1/256. Its blue coefficient is
// 1.775 where yuvToARGB uses 1.772; the decoder uses yuvToARGB.
class tYUVTable {
 public:
  // 256 x 1.775, 1.402, 0.344 and 0.714, each first rounded to single
  // precision.
  static constexpr double YCbBS = 454.39999389648437;
  static constexpr double YCrRS = 358.91198730468750;
  static constexpr double YCbGS = 88.064002990722656;
  static constexpr double YCrGS = 182.78399658203125;

  using Table = std::array<int64_t, 256>;
  Table YCrR{};
  Table YCrG{};
  Table YCbG{};
  Table YCbB{};
  Table YT{};

  int setup();
  uint32_t getRGBA(uint8_t y, uint8_t cr, uint8_t cb) const;

  // The one table the codec shares, set up on first use and never changed.
  static const tYUVTable& shared();
};

// One sampled 2x2 block, samples indexed [column offset][row offset].
class tXMGBlock {
 public:
  uint8_t r[2][2] = {};
  uint8_t g[2][2] = {};
  uint8_t b[2][2] = {};
  uint8_t colorMode = 0;

  std::array<uint8_t, 6> toYUV() const;
  std::array<uint8_t, 12> toRGB() const;
};

class tXMGEncoder {
 public:
  static constexpr uint8_t CYUV = tXMGLoader::CYUV;
  static constexpr uint8_t CVOID = tXMGLoader::CVOID;
  static constexpr uint8_t cRGB = tXMGLoader::cRGB;
  static constexpr uint8_t MASK_R = 0;
  static constexpr uint8_t MASK_G = 255;
  static constexpr uint8_t MASK_B = 255;

  // The longest run one opcode of each form can carry.
  static constexpr size_t kMaxShortRun = 63;
  static constexpr size_t kMaxLongRun = 4095;

  static int isMask(uint8_t r, uint8_t g, uint8_t b) { return r == MASK_R && g == MASK_G && b == MASK_B ? 1 : 0; }

  // Writes the header and every run of `pixmap` at the stream's position.
  // A stream that cannot be written raises its write error.
  int saveXMG(const PixelMap& pixmap, Stream& stream);
  // Writes the pending run `list`, all of mode `mode`, as opcodes and
  // payloads. The caller empties the list.
  int updateBuffer(Stream& stream, const std::vector<tXMGBlock>& list, uint8_t mode);
  uint16_t makeOpcode2(uint8_t mode, uint16_t count) const {
    return static_cast<uint16_t>(0xC000 + mode * 4096 + count);
  }
  uint8_t makeOpcode1(uint8_t mode, uint8_t count) const { return static_cast<uint8_t>(mode * 64 + count); }
  // The block whose top-left pixel is (x, y); pixels outside the map are
  // black, so a block reaching past an edge is never all mask.
  tXMGBlock doSample(const PixelMap& pixmap, int x, int y) const;
};

}  // namespace vh
