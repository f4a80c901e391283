#include "pictures/jpeg.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>

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

// Warnings are quiet, except the data ending before the picture does: the
// library would fill the rest with grey and call it a picture, while a
// backdrop cut short is a damaged file.
void jpegWarned(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) (*info->err->error_exit)(info);
}

// A Huffman code is at least one bit, and every 8 x 8 block of a component
// is coded at least once, so a picture cannot hold more blocks than eight
// per byte of its file; a grey picture, the thinnest, comes out as 192
// bytes of red, green and blue a block. Real pictures stay far below
// (the backdrop map: about 10 bytes out a byte in). Without this bound a
// header of a few bytes would claim a 16384 x 16384 picture and the
// library would grey-fill what its data never held.
constexpr uint64_t kBytesOutPerByteIn = 8 * 192;
constexpr uint64_t kOutputSlack = 1 << 20;

// The library's own working memory: a progressive picture keeps every
// coefficient, two bytes a pixel and component, which for the largest
// sides allowed is more than a gigabyte. Past this it refuses the picture
// rather than allocating.
constexpr long kLibraryMemory = 256L << 20;

// The libjpeg part of decoding. It holds no C++ object of its own, since a
// longjmp out of the library must not cross destructors; the picture lives
// in the caller's frame. False with `errors.message` set on failure.
bool runJpegDecoder(std::string_view bytes, PixelMap& picture, JpegErrors& errors) {
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = jpegErrorExit;
  errors.manager.emit_message = jpegWarned;
  if (setjmp(errors.back)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kLibraryMemory;
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  if (info.image_width > kMaxPictureSide || info.image_height > kMaxPictureSide) {
    std::snprintf(errors.message, sizeof errors.message, "picture is too large (%u x %u)", info.image_width,
                  info.image_height);
    jpeg_destroy_decompress(&info);
    return false;
  }
  const uint64_t outputBytes = uint64_t{info.image_width} * info.image_height * 3;
  if (outputBytes > bytes.size() * kBytesOutPerByteIn + kOutputSlack) {
    std::snprintf(errors.message, sizeof errors.message, "picture is larger than its data (%u x %u in %zu bytes)",
                  info.image_width, info.image_height, bytes.size());
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
