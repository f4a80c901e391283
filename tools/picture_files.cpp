#include "tools/picture_files.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "common/bytes.h"
#include "common/replacing_file.h"
#include "common/stream.h"

namespace vh::tool {

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
};

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

bool readPng(PngState& state, Picture& picture) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, pngFailed, pngWarned);
  if (!png) {
    state.error = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    if (state.error.empty()) state.error = "out of memory";
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return false;
  }
  png_set_read_fn(png, &state, pngReadBytes);
  // Sizes are bounded before any row is allocated.
  png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
  png_read_info(png, info);
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
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool writePng(PngState& state, Picture& picture) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, pngFailed, pngWarned);
  if (!png) {
    state.error = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    if (state.error.empty()) state.error = "out of memory";
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &state, pngWriteBytes, pngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  pointRows(state, picture);
  png_write_image(png, state.rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// PPM header: "P6", then width, height and the largest sample value as
// decimal numbers, separated by white space and "#" comments, then exactly
// one white-space byte before the samples.
class PpmHeaderReader {
 public:
  explicit PpmHeaderReader(const std::string& bytes) : bytes_(bytes) {}

  long number(const char* what) {
    skipSpaceAndComments();
    long value = 0;
    size_t digits = 0;
    while (at_ < bytes_.size() && bytes_[at_] >= '0' && bytes_[at_] <= '9') {
      if (value > 1000000) throw PictureError(std::string("PPM ") + what + " is too large");
      value = value * 10 + (bytes_[at_++] - '0');
      ++digits;
    }
    if (digits == 0) throw PictureError(std::string("PPM header damaged: no ") + what);
    return value;
  }

  size_t samplesStart() {
    if (at_ >= bytes_.size() || !isSpace(bytes_[at_])) throw PictureError("PPM header damaged: no space before the pixels");
    return at_ + 1;
  }

 private:
  static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

  void skipSpaceAndComments() {
    while (at_ < bytes_.size()) {
      if (isSpace(bytes_[at_])) {
        ++at_;
      } else if (bytes_[at_] == '#') {
        while (at_ < bytes_.size() && bytes_[at_] != '\n' && bytes_[at_] != '\r') ++at_;
      } else {
        break;
      }
    }
  }

  const std::string& bytes_;
  size_t at_ = 2;  // after "P6"
};

std::string extensionOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return lowerCase(path.substr(dot));
}

void checkSize(long width, long height, const char* format) {
  if (width > kMaxPictureSide || height > kMaxPictureSide) {
    throw PictureError(std::string(format) + " picture of " + std::to_string(width) + " x " + std::to_string(height) +
                       " is larger than an XMG image can be (" + std::to_string(kMaxPictureSide) + " a side)");
  }
}

}  // namespace

std::optional<PictureKind> pictureKindOf(const std::string& path) {
  const std::string ext = extensionOf(path);
  if (ext == ".png") return PictureKind::Png;
  if (ext == ".ppm") return PictureKind::Ppm;
  return std::nullopt;
}

Picture decodePng(const std::string& bytes) {
  if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0) {
    throw PictureError("not a PNG file");
  }
  PngState state;
  state.input = &bytes;
  Picture picture;
  if (!readPng(state, picture)) throw PictureError("PNG data damaged: " + state.error);
  return picture;
}

std::string encodePng(const Picture& picture) {
  if (picture.width <= 0 || picture.height <= 0) throw PictureError("a PNG picture cannot be empty");
  PngState state;
  Picture copy = picture;  // libpng's row pointers are not const
  if (!writePng(state, copy)) throw PictureError("PNG could not be written: " + state.error);
  return state.output;
}

Picture decodePpm(const std::string& bytes) {
  if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') throw PictureError("not a binary PPM (P6) file");
  PpmHeaderReader header(bytes);
  const long width = header.number("width");
  const long height = header.number("height");
  const long maxValue = header.number("largest sample value");
  if (maxValue < 1 || maxValue > 65535) throw PictureError("PPM largest sample value must be 1 to 65535");
  checkSize(width, height, "PPM");
  const size_t start = header.samplesStart();
  const size_t sampleBytes = maxValue > 255 ? 2 : 1;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  if ((bytes.size() - start) / (3 * sampleBytes) < pixels) throw PictureError("PPM data ends early");
  Picture picture;
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  picture.rgba.resize(pixels * 4);
  const auto* in = reinterpret_cast<const uint8_t*>(bytes.data()) + start;
  for (size_t i = 0; i < pixels; ++i) {
    for (int c = 0; c < 3; ++c) {
      unsigned sample = in[0];
      if (sampleBytes == 2) sample = (sample << 8) | in[1];
      in += sampleBytes;
      // Other scales than 0 to 255 are brought to it, rounding to nearest.
      picture.rgba[i * 4 + c] =
          static_cast<uint8_t>(maxValue == 255 ? sample : (std::min<unsigned>(sample, maxValue) * 255u + maxValue / 2) / maxValue);
    }
    picture.rgba[i * 4 + 3] = 255;
  }
  return picture;
}

std::string encodePpm(const Picture& picture) {
  std::string out = "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
  out.reserve(out.size() + static_cast<size_t>(picture.width) * picture.height * 3);
  for (size_t i = 0; i + 3 < picture.rgba.size(); i += 4) {
    out.append(reinterpret_cast<const char*>(picture.rgba.data() + i), 3);
  }
  return out;
}

Picture readPicture(const std::string& path) {
  const auto kind = pictureKindOf(path);
  if (!kind) throw PictureError(path + ": unknown picture type (use .png or .ppm)");
  auto in = FileStream::open(path, FileMode::Read);
  if (!in) throw PictureError(path + ": cannot open the file");
  std::string bytes(static_cast<size_t>(in->size()), '\0');
  if (in->read(bytes.data(), bytes.size()) != bytes.size()) throw PictureError(path + ": cannot read the file");
  try {
    return *kind == PictureKind::Png ? decodePng(bytes) : decodePpm(bytes);
  } catch (const PictureError& e) {
    throw PictureError(path + ": " + e.what());
  }
}

void writePicture(const std::string& path, const Picture& picture) {
  const auto kind = pictureKindOf(path);
  if (!kind) throw PictureError(path + ": unknown picture type (use .png or .ppm)");
  std::string bytes;
  try {
    bytes = *kind == PictureKind::Png ? encodePng(picture) : encodePpm(picture);
  } catch (const PictureError& e) {
    throw PictureError(path + ": " + e.what());
  }
  auto out = ReplacingFile::create(path);
  if (!out) throw PictureError(path + ": cannot create the file");
  out->stream().write(bytes.data(), bytes.size());
  if (!out->commit()) throw PictureError(path + ": cannot write the file");
}

}  // namespace vh::tool
