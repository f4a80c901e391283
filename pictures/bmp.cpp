#include "pictures/bmp.h"

#include "common/byte_reader.h"
#include "pictures/picture.h"

namespace vh {

namespace {

// The BMP file header (14 bytes) and the part of the info header every
// version from 40 bytes on shares.
constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint32_t kUncompressed = 0;

}  // namespace

Result<PixelMap> decodeBmp(std::string_view bytes) {
  ByteReader file(bytes);
  if (!file.holds(1, kFileHeaderSize + kInfoHeaderSize) || bytes[0] != 'B' || bytes[1] != 'M') {
    return Fault{FaultKind::Damaged, "not a BMP picture"};
  }
  // Both headers are there, so the quiet reads below never run short.
  (void)file.skip(10);                  // "BM", file size, two reserved words
  const uint32_t pixelOffset = file.u32();
  const uint32_t infoSize = file.u32();
  const int32_t width = file.i32();
  const int32_t height = file.i32();
  const uint16_t planes = file.u16();
  const uint16_t bitsPerPixel = file.u16();
  const uint32_t compression = file.u32();
  if (infoSize < kInfoHeaderSize || planes != 1 || bitsPerPixel != 24 || compression != kUncompressed) {
    return Fault{FaultKind::Damaged, "BMP picture is not uncompressed 24-bit"};
  }
  // A negative height means rows stored top-down.
  const bool topDown = height < 0;
  const int64_t rows = topDown ? -static_cast<int64_t>(height) : height;
  if (width <= 0 || rows <= 0 || width > kMaxPictureSide || rows > kMaxPictureSide) {
    return Fault{FaultKind::BadSize, "BMP picture has an impossible size"};
  }
  const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  file.seek(pixelOffset);
  if (file.position() != pixelOffset || !file.holds(static_cast<size_t>(rows), rowBytes)) {
    return Fault{FaultKind::BadSize, "BMP picture is cut short"};
  }
  const uint8_t* pixels = file.rest().data();
  PixelMap picture(width, static_cast<int>(rows));
  for (int y = 0; y < picture.height(); ++y) {
    const size_t stored = static_cast<size_t>(topDown ? y : picture.height() - 1 - y);
    const uint8_t* from = pixels + stored * rowBytes;
    uint8_t* to = picture.row(y);
    // Stored blue, green, red; the pixel map keeps red, green, blue.
    for (int x = 0; x < width; ++x, from += 3, to += 3) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
    }
  }
  return picture;
}

}  // namespace vh
