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

// Luma is 0.299f R + 0.587f G + 0.114f B truncated; the sum is exact in
// fixed point and never negative, so truncation is a shift.
inline int lumaOf(const uint8_t* p) {
  const int64_t sum = p[0] * xmgconst::k0299Fixed + p[1] * xmgconst::k0587Fixed + p[2] * xmgconst::k0114Fixed;
  return static_cast<int>(clampComponent(sum >> xmgconst::kFixedShift, 255));
}

// One chroma byte as the game's coder made it: the terms k x (sample - luma)
// of the four pixels summed in single precision, each step formed in double
// (where it is exact) and rounded back to float, then trunc(128 + sum / 4)
// clamped. `channel` picks red (Cr) or blue (Cb).
[[gnu::noinline]] uint8_t chromaBySteps(double k, const uint8_t* const pixel[4], const uint8_t* luma, int channel) {
  float acc = 0;
  for (int i = 0; i < 4; ++i) acc = static_cast<float>(static_cast<double>(acc) + k * (pixel[i][channel] - luma[i]));
  return static_cast<uint8_t>(clampComponent(static_cast<int64_t>(128 + static_cast<double>(acc) / 4), 255));
}

// The same byte, mostly without the float steps. Every term is a whole
// number of 2^-24 units, so the exact sum is an integer; the float steps
// differ from it by at most four roundings of half a float unit at
// magnitudes below 1024, 2^11 units in all. Only when the exact value of
// 4 x (128 + sum / 4) lies that close to a whole number can the rounding
// change the truncated byte, and only then are the steps taken.
inline uint8_t chroma(double k, int64_t kUnits, int diffSum, const uint8_t* const pixel[4], const uint8_t* luma,
                      int channel) {
  constexpr int kShift = xmgconst::kChromaShift + 2;  // the division by 4
  constexpr int64_t kWhole = int64_t{1} << kShift;
  constexpr int64_t kMargin = int64_t{1} << 13;
  const int64_t t = (int64_t{128} << kShift) + kUnits * diffSum;
  const int64_t fraction = t & (kWhole - 1);
  if (fraction < kMargin || fraction > kWhole - kMargin) [[unlikely]] {
    return chromaBySteps(k, pixel, luma, channel);
  }
  return static_cast<uint8_t>(t < 0 ? 0 : clampComponent(t >> kShift, 255));
}

// The CYUV payload of four pixels given in block order as red, green, blue.
// The chroma differences use the stored luma bytes.
void yuvPayload(const uint8_t* const pixel[4], uint8_t* out) {
  out[0] = static_cast<uint8_t>(lumaOf(pixel[0]));
  out[1] = static_cast<uint8_t>(lumaOf(pixel[1]));
  out[2] = static_cast<uint8_t>(lumaOf(pixel[2]));
  out[3] = static_cast<uint8_t>(lumaOf(pixel[3]));
  const int lumaSum = out[0] + out[1] + out[2] + out[3];
  const int redSum = pixel[0][0] + pixel[1][0] + pixel[2][0] + pixel[3][0];
  const int blueSum = pixel[0][2] + pixel[1][2] + pixel[2][2] + pixel[3][2];
  out[4] = chroma(xmgconst::k0713, xmgconst::k0713Units, redSum - lumaSum, pixel, out, 0);
  out[5] = chroma(xmgconst::k0564, xmgconst::k0564Units, blueSum - lumaSum, pixel, out, 2);
}

// The pending run of saveXMG, written in place: a run starts with room for
// a two-byte opcode, its blocks' payloads follow straight after, and when it
// ends the opcode is filled in (a one-byte opcode moves the payloads up by
// one). A run is closed whenever it reaches the longest count one opcode
// carries: a longer run would be cut into pieces of that size from its start
// anyway, so the bytes are the same and memory stays bounded. Finished runs
// go to the stream in large writes.
class RunWriter {
 public:
  explicit RunWriter(Stream& stream) : stream_(stream), buffer_(kFlushAt + kLongestRunBytes) {}

  // Room for one more block of `mode`; its payload goes to the pointer.
  uint8_t* add(uint8_t mode) {
    if (count_ > 0 && mode != mode_) close();
    if (count_ == 0) {
      mode_ = mode;
      runStart_ = end_;
      end_ += 2;
    }
    uint8_t* at = buffer_.data() + end_;
    end_ += mode == tXMGEncoder::CYUV ? kYuvPayload : (mode == tXMGEncoder::cRGB ? kRgbPayload : 0);
    ++count_;
    return at;
  }

  // After the payload of the block just added is in place.
  void added() {
    if (count_ == tXMGEncoder::kMaxLongRun) close();
  }

  void finish() {
    close();
    flush();
  }

 private:
  static constexpr size_t kFlushAt = 1 << 16;
  static constexpr size_t kLongestRunBytes = 2 + tXMGEncoder::kMaxLongRun * kRgbPayload;

  void close() {
    if (count_ == 0) return;
    tXMGEncoder codes;
    uint8_t* start = buffer_.data() + runStart_;
    if (count_ > tXMGEncoder::kMaxShortRun) {
      const uint16_t op = codes.makeOpcode2(mode_, static_cast<uint16_t>(count_));
      start[0] = static_cast<uint8_t>(op >> 8);
      start[1] = static_cast<uint8_t>(op);
    } else {
      std::memmove(start + 1, start + 2, end_ - runStart_ - 2);
      start[0] = codes.makeOpcode1(mode_, static_cast<uint8_t>(count_));
      --end_;
    }
    count_ = 0;
    if (end_ >= kFlushAt) flush();
  }

  void flush() {
    if (end_ > 0) stream_.write(buffer_.data(), end_);
    end_ = 0;
  }

  Stream& stream_;
  std::vector<uint8_t> buffer_;
  size_t end_ = 0;
  size_t runStart_ = 0;
  size_t count_ = 0;
  uint8_t mode_ = tXMGEncoder::CYUV;
};

// One block into the writer: straight from two rows when the block lies
// inside the picture, through the sampling rule at the edges.
void encodeBlock(const PixelMap& pixmap, int x, int y, const uint8_t* top, const uint8_t* bottom, RunWriter& runs) {
  if (bottom == nullptr || x + 1 >= pixmap.width()) {
    const tXMGBlock block = sampleBlock(pixmap, x, y);
    uint8_t* payload = runs.add(block.colorMode);
    if (block.colorMode == tXMGEncoder::CYUV) {
      const auto bytes = block.toYUV();
      std::memcpy(payload, bytes.data(), bytes.size());
    } else if (block.colorMode == tXMGEncoder::cRGB) {
      const auto bytes = block.toRGB();
      std::memcpy(payload, bytes.data(), bytes.size());
    }
    runs.added();
    return;
  }
  const uint8_t* const pixel[4] = {top, top + 3, bottom, bottom + 3};
  int masks = 0;
  for (const uint8_t* p : pixel) masks += tXMGEncoder::isMask(p[0], p[1], p[2]);
  if (masks == 0) {
    yuvPayload(pixel, runs.add(tXMGEncoder::CYUV));
  } else if (masks == 4) {
    runs.add(tXMGEncoder::CVOID);
  } else {
    uint8_t* payload = runs.add(tXMGEncoder::cRGB);
    std::memcpy(payload, top, 6);
    std::memcpy(payload + 6, bottom, 6);
  }
  runs.added();
}

}  // namespace

std::array<uint8_t, 6> tXMGBlock::toYUV() const {
  uint8_t samples[4][3];
  const uint8_t* pixel[4];
  for (int k = 0; k < 4; ++k) {
    samples[k][0] = r[kOrderX[k]][kOrderY[k]];
    samples[k][1] = g[kOrderX[k]][kOrderY[k]];
    samples[k][2] = b[kOrderX[k]][kOrderY[k]];
    pixel[k] = samples[k];
  }
  std::array<uint8_t, 6> out{};
  yuvPayload(pixel, out.data());
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

  RunWriter runs(stream);
  for (int y = 0; y < pixmap.height(); y += 2) {
    const uint8_t* top = pixmap.row(y);
    const uint8_t* bottom = y + 1 < pixmap.height() ? pixmap.row(y + 1) : nullptr;
    // A block row always holds at least one block, even in an image of
    // width 0: the origin moves on only after a block.
    int x = 0;
    do {
      encodeBlock(pixmap, x, y, top + static_cast<size_t>(x) * 3, bottom ? bottom + static_cast<size_t>(x) * 3 : nullptr, runs);
      x += 2;
    } while (x < pixmap.width());
  }
  runs.finish();
  return 0;
}

}  // namespace vh
