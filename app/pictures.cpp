#include "app/pictures.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>

#include <string>

#include "app/embedded_files.h"
#include "common/bytes.h"

namespace vh {

namespace {

// libjpeg reports errors through error_exit, which must not return; it
// jumps back to the decoder with the library's own message kept.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf back;
  char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr info) {
  auto* errors = reinterpret_cast<JpegErrors*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->back, 1);
}

void jpegQuiet(j_common_ptr, int) {}

uint32_t readLE32(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

uint16_t readLE16(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

// The BMP file header (14 bytes) and the part of the info header every
// version from 40 bytes on shares.
constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr uint32_t kUncompressed = 0;

}  // namespace

namespace {

// The libjpeg part of decoding. It holds no C++ object of its own, since a
// longjmp out of the library must not cross destructors; the picture lives
// in the caller's frame. False with `errors.message` set on failure.
bool runJpegDecoder(std::string_view bytes, PixelMap& picture, JpegErrors& errors) {
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = jpegErrorExit;
  errors.manager.emit_message = jpegQuiet;
  if (setjmp(errors.back)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  if (info.image_width > kMaxPictureSide || info.image_height > kMaxPictureSide) {
    std::snprintf(errors.message, sizeof errors.message, "picture is too large (%u x %u)", info.image_width,
                  info.image_height);
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  picture = PixelMap(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = picture.row(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

PixelMap decodeJpeg(std::string_view bytes) {
  JpegErrors errors{};
  PixelMap picture;
  if (!runJpegDecoder(bytes, picture, errors)) {
    throw PictureError(std::string("JPEG picture cannot be decoded: ") + errors.message);
  }
  return picture;
}

PixelMap decodeBmp(std::string_view bytes) {
  if (bytes.size() < kFileHeaderSize + kInfoHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') {
    throw PictureError("not a BMP picture");
  }
  const uint32_t pixelOffset = readLE32(bytes, 10);
  const uint32_t infoSize = readLE32(bytes, 14);
  const int32_t width = static_cast<int32_t>(readLE32(bytes, 18));
  const int32_t height = static_cast<int32_t>(readLE32(bytes, 22));
  const uint16_t planes = readLE16(bytes, 26);
  const uint16_t bitsPerPixel = readLE16(bytes, 28);
  const uint32_t compression = readLE32(bytes, 30);
  if (infoSize < kInfoHeaderSize || planes != 1 || bitsPerPixel != 24 || compression != kUncompressed) {
    throw PictureError("BMP picture is not uncompressed 24-bit");
  }
  // A negative height means rows stored top-down.
  const bool topDown = height < 0;
  const int64_t rows = topDown ? -static_cast<int64_t>(height) : height;
  if (width <= 0 || rows <= 0 || width > kMaxPictureSide || rows > kMaxPictureSide) {
    throw PictureError("BMP picture has an impossible size");
  }
  const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  if (pixelOffset > bytes.size() || rowBytes * static_cast<size_t>(rows) > bytes.size() - pixelOffset) {
    throw PictureError("BMP picture is cut short");
  }
  PixelMap picture(width, static_cast<int>(rows));
  for (int y = 0; y < picture.height(); ++y) {
    const size_t stored = static_cast<size_t>(topDown ? y : picture.height() - 1 - y);
    const auto* from = reinterpret_cast<const uint8_t*>(bytes.data()) + pixelOffset + stored * rowBytes;
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

PixelMap loadPicture(std::string_view locator) {
  const std::string name = lowerCase(std::string(locator));
  const auto bytes = readLocator(locator);
  if (!bytes) throw PictureError("picture not found: " + std::string(locator));
  if (name.ends_with(".jpg") || name.ends_with(".jpeg")) return decodeJpeg(*bytes);
  if (name.ends_with(".bmp")) return decodeBmp(*bytes);
  throw PictureError("unknown picture type: " + std::string(locator));
}

Rect fitCentred(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return {};
  // Compare areaW / pictureW with areaH / pictureH without rounding.
  const int64_t byWidth = static_cast<int64_t>(areaWidth) * pictureHeight;
  const int64_t byHeight = static_cast<int64_t>(areaHeight) * pictureWidth;
  Rect fitted;
  if (byWidth <= byHeight) {
    fitted.width = areaWidth;
    fitted.height = static_cast<int>(byWidth / pictureWidth);
  } else {
    fitted.height = areaHeight;
    fitted.width = static_cast<int>(byHeight / pictureHeight);
  }
  if (fitted.width < 1) fitted.width = 1;
  if (fitted.height < 1) fitted.height = 1;
  fitted.x = (areaWidth - fitted.width) / 2;
  fitted.y = (areaHeight - fitted.height) / 2;
  return fitted;
}

}  // namespace vh
