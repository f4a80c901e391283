#include "pictures/png.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <string>

namespace vh {

namespace {

// libpng reports errors by jumping back to the setjmp of the call that
// started it. Everything a jump may leave behind lives in this state, which
// the caller owns, so no C++ object is abandoned half-built in the frame the
// jump crosses.
struct PngState {
  std::string error;
  const std::string* input = nullptr;
  size_t position = 0;
  std::vector<png_bytep> rows;
  std::string output;
  // The size of a picture refused for being too large, or for claiming more
  // image data than the file could inflate to; 0 otherwise.
  png_uint_32 refusedWidth = 0;
  png_uint_32 refusedHeight = 0;
  uint64_t refusedDataBytes = 0;  // set when the data, not the sides, was refused
};

// Deflate turns one byte into at most 1032, and a stream's last bits and the
// interlaced passes' row rounding may add a little; any PNG that needs more
// inflated data than its file's bytes allow for cannot be whole.
constexpr uint64_t kInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 64 << 10;

[[noreturn]] void pngFailed(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngState*>(png_get_error_ptr(png));
  state->error = message ? message : "unknown fault";
  png_longjmp(png, 1);
}

void pngWarned(png_structp, png_const_charp) {}

void pngReadBytes(png_structp png, png_bytep into, png_size_t count) {
  auto* state = static_cast<PngState*>(png_get_io_ptr(png));
  if (count > state->input->size() - state->position) png_error(png, "the data ends early");
  std::memcpy(into, state->input->data() + state->position, count);
  state->position += count;
}

void pngWriteBytes(png_structp png, png_bytep from, png_size_t count) {
  auto* state = static_cast<PngState*>(png_get_io_ptr(png));
  state->output.append(reinterpret_cast<const char*>(from), count);
}

void pngFlush(png_structp) {}

void pointRows(PngState& state, Picture& picture) {
  state.rows.resize(static_cast<size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    state.rows[static_cast<size_t>(y)] = picture.rgba.data() + static_cast<size_t>(y) * picture.width * 4;
  }
}

enum class PngDirection { Read, Write };

void destroyPng(png_structp& png, png_infop& info, PngDirection direction) {
  if (direction == PngDirection::Read) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  } else {
    png_destroy_write_struct(&png, info ? &info : nullptr);
  }
}

void readBody(png_structp png, png_infop info, PngState& state, Picture& picture) {
  png_set_read_fn(png, &state, pngReadBytes);
  // Sizes are bounded before any row is allocated. libpng's own bound (a
  // million pixels a side) would only call the header invalid; lifted to the
  // format's own limit, ours comes first and a translator is told the size.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (width > static_cast<png_uint_32>(kMaxPictureSide) || height > static_cast<png_uint_32>(kMaxPictureSide)) {
    state.refusedWidth = width;
    state.refusedHeight = height;
    png_error(png, "picture too large");
  }
  // A header may claim a picture its few bytes of data could never fill;
  // libpng would allocate every row before finding the data short.
  const uint64_t inflated = (static_cast<uint64_t>(png_get_rowbytes(png, info)) + 1) * height;
  if (inflated > state.input->size() * kInflateRatio + kInflateSlack) {
    state.refusedWidth = width;
    state.refusedHeight = height;
    state.refusedDataBytes = inflated;
    png_error(png, "picture larger than its data");
  }
  // Whatever the file holds comes out as 8-bit red, green, blue, alpha.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  picture.width = static_cast<int>(png_get_image_width(png, info));
  picture.height = static_cast<int>(png_get_image_height(png, info));
  if (png_get_rowbytes(png, info) != static_cast<size_t>(picture.width) * 4) png_error(png, "unexpected pixel layout");
  picture.rgba.assign(static_cast<size_t>(picture.width) * picture.height * 4, 0);
  pointRows(state, picture);
  png_read_image(png, state.rows.data());
  png_read_end(png, nullptr);
}

void writeBody(png_structp png, png_infop info, PngState& state, Picture& picture) {
  png_set_write_fn(png, &state, pngWriteBytes, pngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  pointRows(state, picture);
  png_write_image(png, state.rows.data());
  png_write_end(png, nullptr);
}

// Makes libpng's structures, runs the body under their error jump and
// destroys them either way. The bodies hold no C++ object of their own, so
// the jump abandons nothing. False with `state.error` set on failure.
bool runPng(PngState& state, Picture& picture, PngDirection direction) {
  png_structp png = direction == PngDirection::Read
                        ? png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, pngFailed, pngWarned)
                        : png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, pngFailed, pngWarned);
  if (!png) {
    state.error = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    if (state.error.empty()) state.error = "out of memory";
    destroyPng(png, info, direction);
    return false;
  }
  if (direction == PngDirection::Read) {
    readBody(png, info, state, picture);
  } else {
    writeBody(png, info, state, picture);
  }
  destroyPng(png, info, direction);
  return true;
}

}  // namespace

Result<Picture> decodePng(const std::string& bytes) {
  if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0) {
    return Fault{FaultKind::Damaged, "not a PNG file"};
  }
  PngState state;
  state.input = &bytes;
  Picture picture;
  if (runPng(state, picture, PngDirection::Read)) return picture;
  const std::string size = "PNG picture of " + std::to_string(state.refusedWidth) + " x " +
                           std::to_string(state.refusedHeight) + " pixels";
  if (state.refusedDataBytes != 0) {
    return Fault{FaultKind::BadSize, size + " needs " + std::to_string(state.refusedDataBytes) +
                                         " bytes of image data, more than a file of " +
                                         std::to_string(bytes.size()) + " bytes can hold"};
  }
  if (state.refusedWidth != 0) {
    return Fault{FaultKind::BadSize,
                 size + " is larger than " + std::to_string(kMaxPictureSide) + " on a side"};
  }
  return Fault{FaultKind::Damaged, "PNG data damaged: " + state.error};
}

std::string encodePng(const Picture& picture) {
  if (picture.width <= 0 || picture.height <= 0) throw PictureError("a PNG picture cannot be empty");
  PngState state;
  Picture copy = picture;  // libpng's row pointers are not const
  if (!runPng(state, copy, PngDirection::Write)) throw PictureError("PNG could not be written: " + state.error);
  return state.output;
}

}  // namespace vh
