#include "pictures/jpeg.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>

#include <string>

#include "pictures/picture.h"

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

Result<PixelMap> decodeJpeg(std::string_view bytes) {
  JpegErrors errors{};
  PixelMap picture;
  if (!runJpegDecoder(bytes, picture, errors)) {
    return Fault{FaultKind::Damaged, std::string("JPEG picture cannot be decoded: ") + errors.message};
  }
  return picture;
}

}  // namespace vh
