#include "bench/xmg_before_rows.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "xmg/xmg.h"
#include "xmg/yuv_constants.h"

namespace vh::before_rows {

namespace {

constexpr uint8_t CYUV = tXMGLoader::CYUV;
constexpr uint8_t CVOID = tXMGLoader::CVOID;
constexpr uint8_t cRGB = tXMGLoader::cRGB;
constexpr size_t kYuvPayload = 6;
constexpr size_t kRgbPayload = 12;

// ---- the encoder ----------------------------------------------------------

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
    const tXMGBlock block = tXMGEncoder().doSample(pixmap, x, y);
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

// ---- the decoder ----------------------------------------------------------

constexpr uint8_t kModeNone = 3;  // a two-byte opcode with mode bits 11
constexpr uint8_t kDamagedOpcode = 0xFF;
constexpr uint8_t kLongOpcode = 0xC0;  // and above: a second count byte follows
constexpr int kCanvasMargin = 10;
constexpr size_t kMaxRunBlocks = 4095;

// yuvToARGB for a whole block at once. With y a whole number, trunc(y + v)
// and y + floor(v) agree wherever the clamp lets them differ from 0, and the
// offsets v are exact in fixed point (see yuv_constants.h); so one offset per
// colour and block and a clamping table give the bytes of the per-pixel
// conversion.
class BlockColours {
 public:
  BlockColours() {
    for (int i = 0; i < 256; ++i) {
      const int64_t d = i - 128;
      red_[i] = static_cast<int>((xmgconst::k1402Fixed * d) >> xmgconst::kFixedShift);
      blue_[i] = static_cast<int>((xmgconst::k1772Fixed * d) >> xmgconst::kFixedShift);
      greenFromCb_[i] = -(xmgconst::k0344Fixed * d);
      greenFromCr_[i] = xmgconst::k0714Fixed * d;
    }
    for (int i = 0; i < kClampSize; ++i) clamp_[i] = static_cast<uint8_t>(clampComponent(i - kClampBias, 255));
  }

  // Writes the four pixels of a CYUV payload: top row at `top`, bottom row
  // at `bottom`, three bytes each, red, green, blue.
  void draw(const uint8_t* payload, uint8_t* top, uint8_t* bottom) const {
    const uint8_t cr = payload[4];
    const uint8_t cb = payload[5];
    const uint8_t* r = clamp_ + kClampBias + red_[cr];
    const uint8_t* g = clamp_ + kClampBias + static_cast<int>((greenFromCb_[cb] - greenFromCr_[cr]) >> xmgconst::kFixedShift);
    const uint8_t* b = clamp_ + kClampBias + blue_[cb];
    auto put = [&](uint8_t* p, uint8_t y) {
      p[0] = r[y];
      p[1] = g[y];
      p[2] = b[y];
    };
    put(top, payload[0]);
    put(top + 3, payload[1]);
    put(bottom, payload[2]);
    put(bottom + 3, payload[3]);
  }

 private:
  // Offsets reach about -228 to +227; a luma byte is added on top.
  static constexpr int kClampBias = 256;
  static constexpr int kClampSize = 1024;
  int red_[256];
  int blue_[256];
  int64_t greenFromCb_[256];
  int64_t greenFromCr_[256];
  uint8_t clamp_[kClampSize];
};

const BlockColours& blockColours() {
  static const BlockColours colours;
  return colours;
}

// Plain reads until `count` bytes are in or the data ends; nothing is
// zero-filled, so the caller sees how much really arrived.
size_t readUpTo(Stream& stream, uint8_t* into, size_t count) {
  size_t done = 0;
  while (done < count && !stream.atEnd()) done += stream.read(into + done, count - done);
  return done;
}

// The block origin and where blocks may be drawn. A run is only checked
// against the bottom before its opcode, so it may carry blocks far below the
// picture; those whose pixels would leave the canvas are passed over.
class Canvas {
 public:
  Canvas(PixelMap& map, int width)
      : origin_(map.row(0)), stride_(map.stride()), width_(width), lastRow_(map.height() - 2), top_(origin_) {}

  bool drawable() const { return y_ <= lastRow_; }
  uint8_t* top() const { return top_; }
  uint8_t* bottom() const { return top_ + stride_; }
  int y() const { return y_; }

  void advance() {
    x_ += 2;
    top_ += 2 * PixelMap::kBytesPerPixel;
    if (x_ >= width_) {
      x_ = 0;
      y_ += 2;
      // Past the canvas the pointer is never used; it is not formed either.
      top_ = drawable() ? origin_ + static_cast<size_t>(y_) * stride_ : origin_;
    }
  }

 private:
  uint8_t* origin_;
  size_t stride_;
  int width_;
  int lastRow_;
  int x_ = 0;
  int y_ = 0;
  uint8_t* top_;
};

}  // namespace

void saveXmg(const PixelMap& pixmap, Stream& stream) {
  tXMGHeader header;
  header.setupDefault();
  header.width = pixmap.width();
  header.height = pixmap.height();
  header.mask_r = tXMGEncoder::MASK_R;
  header.mask_g = tXMGEncoder::MASK_G;
  header.mask_b = tXMGEncoder::MASK_B;
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
}

PixelMap toPixmap(Stream& stream) {
  tXMGLoader loader;
  loader.readheader(stream);
  const tXMGHeader& h = *loader.header;
  if (h.width < 0 || h.height < 0 || h.width > kXmgMaxSide || h.height > kXmgMaxSide) {
    throw XmgError("XMG image size out of range");
  }
  PixelMap canvas(h.width + kCanvasMargin, h.height + kCanvasMargin);
  std::memset(canvas.row(0), 0xFF, canvas.stride() * static_cast<size_t>(canvas.height()));

  const BlockColours& colours = blockColours();
  const uint8_t mask[6] = {h.mask_r, h.mask_g, h.mask_b, h.mask_r, h.mask_g, h.mask_b};
  Canvas at(canvas, h.width);
  uint8_t mode = CVOID;
  size_t count = 0;
  // One CYUV payload for the whole image: bytes a short read leaves out keep
  // what the previous CYUV block put there.
  uint8_t payload[kYuvPayload] = {};
  std::vector<uint8_t> run(kMaxRunBlocks * kRgbPayload);

  while (!stream.atEnd() && at.y() < h.height) {
    const uint8_t op = stream.readU8();
    if (op == kDamagedOpcode) {
      throw XmgError("XMG data damaged");
    }
    if (op < kLongOpcode) {
      mode = op >> 6;
      count = op & 0x3F;
    } else {
      mode = (op >> 4) & 0x03;
      count = (static_cast<size_t>(op & 0x0F) << 8) | stream.readU8();
    }

    switch (mode) {
      case CVOID:
        for (size_t i = 0; i < count; ++i, at.advance()) {
          if (!at.drawable()) continue;
          std::memcpy(at.top(), mask, 6);
          std::memcpy(at.bottom(), mask, 6);
        }
        break;
      case CYUV: {
        const size_t got = readUpTo(stream, run.data(), count * kYuvPayload);
        // Blocks whose six bytes all arrived are drawn from the run itself;
        // the shared payload then holds the last of them, for a block cut
        // short after it.
        const size_t whole = std::min(count, got / kYuvPayload);
        size_t i = 0;
        for (; i < whole; ++i, at.advance()) {
          if (at.drawable()) colours.draw(run.data() + i * kYuvPayload, at.top(), at.bottom());
        }
        if (whole > 0) std::memcpy(payload, run.data() + (whole - 1) * kYuvPayload, kYuvPayload);
        for (; i < count; ++i, at.advance()) {
          const size_t start = i * kYuvPayload;
          if (start < got) std::memcpy(payload, run.data() + start, got - start);
          if (at.drawable()) colours.draw(payload, at.top(), at.bottom());
        }
        break;
      }
      case cRGB: {
        const size_t want = count * kRgbPayload;
        const size_t got = readUpTo(stream, run.data(), want);
        // Colour bytes past the end of the data come out as zeros.
        std::memset(run.data() + got, 0, want - got);
        for (size_t i = 0; i < count; ++i, at.advance()) {
          if (!at.drawable()) continue;
          const uint8_t* block = run.data() + i * kRgbPayload;
          std::memcpy(at.top(), block, 6);
          std::memcpy(at.bottom(), block + 6, 6);
        }
        break;
      }
      case kModeNone:
        break;
    }
  }
  return canvas.window(0, 0, h.width, h.height);
}

}  // namespace vh::before_rows
