#include <algorithm>
#include <cstring>

#include "xmg/xmg.h"
#include "xmg/yuv_constants.h"

namespace vh {

namespace {

constexpr size_t kYuvPayload = 6;
constexpr size_t kRgbPayload = 12;

// The sampling loop of saveXMG reads rows directly; doSample is the same
// rule for a single block.
tXMGBlock sampleBlock(const PixelMap& pixmap, int x, int y) {
  tXMGBlock block;
  int maskCount = 0;
  for (int dx = 0; dx < 2; ++dx) {
    for (int dy = 0; dy < 2; ++dy) {
      uint8_t r = 0, g = 0, b = 0;  // outside the map: black, never mask
      if (x + dx < pixmap.width() && y + dy < pixmap.height()) {
        const uint8_t* p = pixmap.row(y + dy) + static_cast<size_t>(x + dx) * PixelMap::kBytesPerPixel;
        r = p[0];
        g = p[1];
        b = p[2];
      }
      block.r[dx][dy] = r;
      block.g[dx][dy] = g;
      block.b[dx][dy] = b;
      maskCount += tXMGEncoder::isMask(r, g, b);
    }
  }
  block.colorMode = maskCount == 0 ? tXMGEncoder::CYUV : (maskCount == 4 ? tXMGEncoder::CVOID : tXMGEncoder::cRGB);
  return block;
}

// Block order: top-left, top-right, bottom-left, bottom-right.
constexpr int kOrderX[4] = {0, 1, 0, 1};
constexpr int kOrderY[4] = {0, 0, 1, 1};

}  // namespace

std::array<uint8_t, 6> tXMGBlock::toYUV() const {
  std::array<uint8_t, 6> out{};
  // The chroma sums are kept in single precision, as the game's coder kept
  // them; each step is formed in double and rounded back to float.
  float accCb = 0;
  float accCr = 0;
  for (int k = 0; k < 4; ++k) {
    const int R = r[kOrderX[k]][kOrderY[k]];
    const int G = g[kOrderX[k]][kOrderY[k]];
    const int B = b[kOrderX[k]][kOrderY[k]];
    const int64_t Y = clampComponent(
        static_cast<int64_t>(xmgconst::k0299 * R + xmgconst::k0587 * G + xmgconst::k0114 * B), 255);
    out[k] = static_cast<uint8_t>(Y);
    accCb = static_cast<float>(static_cast<double>(accCb) + xmgconst::k0564 * static_cast<double>(B - Y));
    accCr = static_cast<float>(static_cast<double>(accCr) + xmgconst::k0713 * static_cast<double>(R - Y));
  }
  out[4] = static_cast<uint8_t>(clampComponent(static_cast<int64_t>(128 + static_cast<double>(accCr) / 4), 255));
  out[5] = static_cast<uint8_t>(clampComponent(static_cast<int64_t>(128 + static_cast<double>(accCb) / 4), 255));
  return out;
}

std::array<uint8_t, 12> tXMGBlock::toRGB() const {
  std::array<uint8_t, 12> out{};
  for (int k = 0; k < 4; ++k) {
    out[k * 3] = r[kOrderX[k]][kOrderY[k]];
    out[k * 3 + 1] = g[kOrderX[k]][kOrderY[k]];
    out[k * 3 + 2] = b[kOrderX[k]][kOrderY[k]];
  }
  return out;
}

tXMGBlock tXMGEncoder::doSample(const PixelMap& pixmap, int x, int y) const { return sampleBlock(pixmap, x, y); }

int tXMGEncoder::updateBuffer(Stream& stream, const std::vector<tXMGBlock>& list, uint8_t mode) {
  const size_t payload = mode == CYUV ? kYuvPayload : (mode == cRGB ? kRgbPayload : 0);
  std::vector<uint8_t> out;
  out.reserve(2 * (list.size() / kMaxLongRun + 1) + list.size() * payload);
  size_t next = 0;
  size_t remaining = list.size();
  while (remaining > 0) {
    size_t n;
    if (remaining > kMaxShortRun) {
      n = std::min(remaining, kMaxLongRun);
      const uint16_t op = makeOpcode2(mode, static_cast<uint16_t>(n));
      out.push_back(static_cast<uint8_t>(op >> 8));
      out.push_back(static_cast<uint8_t>(op));
    } else {
      n = remaining;
      out.push_back(makeOpcode1(mode, static_cast<uint8_t>(n)));
    }
    remaining -= n;
    for (size_t i = 0; i < n && payload != 0; ++i, ++next) {
      if (mode == CYUV) {
        const auto bytes = list[next].toYUV();
        out.insert(out.end(), bytes.begin(), bytes.end());
      } else {
        const auto bytes = list[next].toRGB();
        out.insert(out.end(), bytes.begin(), bytes.end());
      }
    }
  }
  if (!out.empty()) stream.write(out.data(), out.size());
  return 0;
}

int tXMGEncoder::saveXMG(const PixelMap& pixmap, Stream& stream) {
  tXMGHeader header;
  header.setupDefault();
  header.width = pixmap.width();
  header.height = pixmap.height();
  header.mask_r = MASK_R;
  header.mask_g = MASK_G;
  header.mask_b = MASK_B;
  header.save(stream);

  // The pending run. Writing it out whenever it reaches the longest opcode
  // count gives the same bytes as holding the whole run (a run is cut into
  // pieces of that size from its start anyway) and keeps memory bounded.
  std::vector<tXMGBlock> list;
  list.reserve(kMaxLongRun);
  bool havePrevious = false;
  uint8_t previousMode = CYUV;
  int x = 0;
  int y = 0;
  while (y < pixmap.height()) {
    const tXMGBlock block = sampleBlock(pixmap, x, y);
    if (havePrevious && previousMode != block.colorMode) {
      updateBuffer(stream, list, previousMode);
      list.clear();
    }
    previousMode = block.colorMode;
    havePrevious = true;
    list.push_back(block);
    if (list.size() == kMaxLongRun) {
      updateBuffer(stream, list, previousMode);
      list.clear();
    }
    x += 2;
    if (x >= pixmap.width()) {
      x = 0;
      y += 2;
    }
  }
  updateBuffer(stream, list, previousMode);
  return 0;
}

}  // namespace vh
