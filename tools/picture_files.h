// Pictures as translators edit them: PNG (any colour type and depth, read
// through libpng) and binary PPM (P6). The kind follows the file's
// extension. Pixels are held as red, green, blue, alpha bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vh::tool {

class PictureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class PictureKind { Png, Ppm };

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width x height x 4, rows top to bottom
};

// The largest side a picture may have: what an XMG image can hold.
inline constexpr int kMaxPictureSide = 16384;

// By extension, ignoring letter case; nothing for any other extension.
std::optional<PictureKind> pictureKindOf(const std::string& path);

// Throw PictureError with a message naming the file and the fault.
Picture readPicture(const std::string& path);
void writePicture(const std::string& path, const Picture& picture);

// In memory, for the two formats.
Picture decodePng(const std::string& bytes);
std::string encodePng(const Picture& picture);
Picture decodePpm(const std::string& bytes);
std::string encodePpm(const Picture& picture);

}  // namespace vh::tool
