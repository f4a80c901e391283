// An in-memory image in the codec's working format: 24-bit RGB, three bytes
// per pixel in the order red, green, blue, every row padded to a multiple of
// four bytes. Pixels are exchanged as 32-bit ARGB values; writing drops the
// alpha and reading gives alpha 255. A window of a pixel map shares its
// pixels, so drawing into the window draws into the map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vh {

inline constexpr uint32_t packARGBValue(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(r) << 16) |
         (static_cast<uint32_t>(g) << 8) | b;
}

class PixelMap {
 public:
  static constexpr int kBytesPerPixel = 3;

  PixelMap() = default;
  // A new map with every byte 0 (black). Throws std::invalid_argument for a
  // negative size; callers bound sizes that come from files before this.
  PixelMap(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  // Bytes from one row to the next in the shared storage.
  size_t stride() const { return stride_; }
  bool empty() const { return width_ == 0 || height_ == 0; }

  uint32_t getPixel(int x, int y) const;
  void setPixel(int x, int y, uint32_t argb);
  uint8_t* row(int y) { return storage_->data() + origin_ + static_cast<size_t>(y) * stride_; }
  const uint8_t* row(int y) const { return storage_->data() + origin_ + static_cast<size_t>(y) * stride_; }

  // A view of (x, y, width, height) that shares this map's pixels. Throws
  // std::out_of_range when the rectangle does not lie inside the map.
  PixelMap window(int x, int y, int width, int height) const;

  void fill(uint32_t argb);

 private:
  std::shared_ptr<std::vector<uint8_t>> storage_ = std::make_shared<std::vector<uint8_t>>();
  size_t origin_ = 0;
  size_t stride_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace vh
