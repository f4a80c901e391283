#include "pictures/ppm.h"

#include <algorithm>
#include <optional>

#include "common/byte_reader.h"

namespace vh {

namespace {

constexpr long kLargestNumber = 1000000;  // more digits than any side we take

Fault damaged(const std::string& what) { return Fault{FaultKind::Damaged, what}; }

// PPM header: "P6", then width, height and the largest sample value as
// decimal numbers, separated by white space and "#" comments, then exactly
// one white-space byte before the samples.
class PpmHeaderReader {
 public:
  explicit PpmHeaderReader(const std::string& bytes) : reader_(std::string_view(bytes)) { (void)reader_.skip(2); }

  Result<long> number(const char* what) {
    skipSpaceAndComments();
    long value = 0;
    size_t digits = 0;
    while (!reader_.atEnd() && next() >= '0' && next() <= '9') {
      if (value > kLargestNumber) return Fault{FaultKind::BadSize, std::string("PPM ") + what + " is too large"};
      value = value * 10 + (next() - '0');
      (void)reader_.skip(1);
      ++digits;
    }
    if (digits == 0) return damaged(std::string("PPM header damaged: no ") + what);
    return value;
  }

  Result<size_t> samplesStart() const {
    if (reader_.atEnd() || !isSpace(next())) return damaged("PPM header damaged: no space before the pixels");
    return reader_.position() + 1;
  }

 private:
  static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
  // The byte at the position; only asked for before the end.
  char next() const { return static_cast<char>(reader_.rest()[0]); }

  void skipSpaceAndComments() {
    while (!reader_.atEnd()) {
      if (isSpace(next())) {
        (void)reader_.skip(1);
      } else if (next() == '#') {
        while (!reader_.atEnd() && next() != '\n' && next() != '\r') (void)reader_.skip(1);
      } else {
        break;
      }
    }
  }

  ByteReader reader_;
};

std::optional<Fault> sizeFault(long width, long height, const char* format) {
  if (width <= kMaxPictureSide && height <= kMaxPictureSide) return std::nullopt;
  return Fault{FaultKind::BadSize, std::string(format) + " picture of " + std::to_string(width) + " x " +
                                       std::to_string(height) + " is larger than an XMG image can be (" +
                                       std::to_string(kMaxPictureSide) + " a side)"};
}

}  // namespace

Result<Picture> decodePpm(const std::string& bytes) {
  if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6') return damaged("not a binary PPM (P6) file");
  PpmHeaderReader header(bytes);
  const Result<long> width = header.number("width");
  if (!width) return width.fault();
  const Result<long> height = header.number("height");
  if (!height) return height.fault();
  const Result<long> maxValue = header.number("largest sample value");
  if (!maxValue) return maxValue.fault();
  const long largest = maxValue.value();
  if (largest < 1 || largest > 65535) return damaged("PPM largest sample value must be 1 to 65535");
  if (auto fault = sizeFault(width.value(), height.value(), "PPM")) return *fault;
  const Result<size_t> start = header.samplesStart();
  if (!start) return start.fault();
  const size_t sampleBytes = largest > 255 ? 2 : 1;
  const size_t pixels = static_cast<size_t>(width.value()) * static_cast<size_t>(height.value());
  if ((bytes.size() - start.value()) / (3 * sampleBytes) < pixels) {
    return Fault{FaultKind::BadSize, "PPM data ends early"};
  }
  Picture picture;
  picture.width = static_cast<int>(width.value());
  picture.height = static_cast<int>(height.value());
  picture.rgba.resize(pixels * 4);
  const auto* in = reinterpret_cast<const uint8_t*>(bytes.data()) + start.value();
  for (size_t i = 0; i < pixels; ++i) {
    for (int c = 0; c < 3; ++c) {
      unsigned sample = in[0];
      if (sampleBytes == 2) sample = (sample << 8) | in[1];
      in += sampleBytes;
      // Other scales than 0 to 255 are brought to it, rounding to nearest.
      picture.rgba[i * 4 + c] = static_cast<uint8_t>(
          largest == 255 ? sample : (std::min<unsigned>(sample, largest) * 255u + largest / 2) / largest);
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
