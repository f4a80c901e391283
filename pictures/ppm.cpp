#include "pictures/ppm.h"

#include <algorithm>

namespace vh {

namespace {

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

void checkSize(long width, long height, const char* format) {
  if (width > kMaxPictureSide || height > kMaxPictureSide) {
    throw PictureError(std::string(format) + " picture of " + std::to_string(width) + " x " + std::to_string(height) +
                       " is larger than an XMG image can be (" + std::to_string(kMaxPictureSide) + " a side)");
  }
}

}  // namespace

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

}  // namespace vh
