#include "common/pixel_map.h"

#include <stdexcept>

namespace vh {

PixelMap::PixelMap(int width, int height) : width_(width), height_(height) {
  if (width < 0 || height < 0) throw std::invalid_argument("pixel map size is negative");
  stride_ = (static_cast<size_t>(width) * kBytesPerPixel + 3) & ~static_cast<size_t>(3);
  storage_ = std::make_shared<std::vector<uint8_t>>(stride_ * static_cast<size_t>(height));
}

uint32_t PixelMap::getPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) throw std::out_of_range("pixel outside the map");
  const uint8_t* p = row(y) + static_cast<size_t>(x) * kBytesPerPixel;
  return packARGBValue(255, p[0], p[1], p[2]);
}

void PixelMap::setPixel(int x, int y, uint32_t argb) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) throw std::out_of_range("pixel outside the map");
  uint8_t* p = row(y) + static_cast<size_t>(x) * kBytesPerPixel;
  p[0] = static_cast<uint8_t>(argb >> 16);
  p[1] = static_cast<uint8_t>(argb >> 8);
  p[2] = static_cast<uint8_t>(argb);
}

PixelMap PixelMap::window(int x, int y, int width, int height) const {
  if (x < 0 || y < 0 || width < 0 || height < 0 || x > width_ - width || y > height_ - height) {
    throw std::out_of_range("window outside the pixel map");
  }
  PixelMap view;
  view.storage_ = storage_;
  view.stride_ = stride_;
  view.origin_ = origin_ + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * kBytesPerPixel;
  view.width_ = width;
  view.height_ = height;
  return view;
}

void PixelMap::fill(uint32_t argb) {
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) setPixel(x, y, argb);
  }
}

}  // namespace vh
