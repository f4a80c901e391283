#include <algorithm>
#include <cstring>

#include "xmg/row_arithmetic.h"
#include "xmg/row_passes.h"
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
// fixed point and never negative, so truncation is a shift. (The row passes
// take it in 16-bit digits, row_arithmetic.h.)
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

// Cr and Cb of a block whose luma bytes are already in out[0..3]: by
// chromaByDiff (row_arithmetic.h), and by the float steps only where that
// cannot settle the byte.
void chromaPair(const uint8_t* const pixel[4], uint8_t* out) {
  const int lumaSum = out[0] + out[1] + out[2] + out[3];
  const int redSum = pixel[0][0] + pixel[1][0] + pixel[2][0] + pixel[3][0];
  const int blueSum = pixel[0][2] + pixel[1][2] + pixel[2][2] + pixel[3][2];
  const int32_t cr = chromaByDiff(kRedChroma, redSum - lumaSum);
  const int32_t cb = chromaByDiff(kBlueChroma, blueSum - lumaSum);
  out[4] = cr >= 0 ? static_cast<uint8_t>(cr) : chromaBySteps(xmgconst::k0713, pixel, out, 0);
  out[5] = cb >= 0 ? static_cast<uint8_t>(cb) : chromaBySteps(xmgconst::k0564, pixel, out, 2);
}

// The CYUV payload of four pixels given in block order as red, green, blue.
// The chroma differences use the stored luma bytes.
void yuvPayload(const uint8_t* const pixel[4], uint8_t* out) {
  out[0] = static_cast<uint8_t>(lumaOf(pixel[0]));
  out[1] = static_cast<uint8_t>(lumaOf(pixel[1]));
  out[2] = static_cast<uint8_t>(lumaOf(pixel[2]));
  out[3] = static_cast<uint8_t>(lumaOf(pixel[3]));
  chromaPair(pixel, out);
}

// The passes over rows (row_passes.h) leave per block only the run
// bookkeeping and the copying of bytes.

// The luma byte, the mask flag and the red and blue differences from the
// luma of every pixel of a row.
struct RowSamples {
  explicit RowSamples(int width) : r(width), g(width), b(width), luma(width), mask(width), red(width), blue(width) {}
  std::vector<uint8_t> r, g, b;  // the row's samples, one colour at a time
  std::vector<uint8_t> luma, mask;
  std::vector<int16_t> red, blue;
};

void sampleRow(const RowPasses& passes, const uint8_t* pixels, int count, RowSamples& into) {
  passes.splitColours(pixels, count, into.r.data(), into.g.data(), into.b.data());
  passes.sampleRow(into.r.data(), into.g.data(), into.b.data(), count, into.luma.data(), into.mask.data(),
                   into.red.data(), into.blue.data());
}

// What a row pair's blocks hold: their mask pixel counts, their chroma pairs
// (Cr, Cb) where the fixed-point rule settles them, and which need the
// float steps.
struct BlockSamples {
  explicit BlockSamples(int width) : masks(width), chroma(width), steps(width) {}
  std::vector<uint8_t> masks, chroma, steps;
  bool anyMask = false;
  bool anySteps = false;
};

void sumBlocks(const RowPasses& passes, int blocks, const RowSamples& top, const RowSamples& bottom,
               BlockSamples& into) {
  const int any = passes.sumBlocks(blocks, top.mask.data(), bottom.mask.data(), top.red.data(), bottom.red.data(),
                                   top.blue.data(), bottom.blue.data(), into.masks.data(), into.chroma.data(),
                                   into.steps.data());
  into.anyMask = (any & 0x0F) != 0;
  into.anySteps = (any & 0xF0) != 0;
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
  uint8_t* add(uint8_t mode) { return add(mode, 1); }

  // Room for `count` more blocks of `mode`, at most room(mode) of them.
  uint8_t* add(uint8_t mode, size_t count) {
    if (count_ > 0 && mode != mode_) close();
    if (count_ == 0) {
      mode_ = mode;
      runStart_ = end_;
      end_ += 2;
    }
    uint8_t* at = buffer_.data() + end_;
    end_ += count * (mode == tXMGEncoder::CYUV ? kYuvPayload : (mode == tXMGEncoder::cRGB ? kRgbPayload : 0));
    count_ += count;
    return at;
  }

  // How many blocks of `mode` the next add may take.
  size_t room(uint8_t mode) const {
    return count_ > 0 && mode == mode_ ? tXMGEncoder::kMaxLongRun - count_ : tXMGEncoder::kMaxLongRun;
  }

  // After the payloads of the blocks just added are in place.
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

// A block at an edge of the picture, through the sampling rule.
void encodeEdgeBlock(const PixelMap& pixmap, int x, int y, RunWriter& runs) {
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
}

// The blocks of a row pair that lie wholly inside the picture. The passes
// above leave per block only the run bookkeeping and the copying of bytes;
// a stretch without mask pixels goes into its run in one piece.
class BlockRows {
 public:
  explicit BlockRows(int width) : passes_(rowPasses()), top_(width), bottom_(width), blocks_(width) {}

  // A picture with mask colour around its figure (a sprite) has row pairs
  // that begin or end with blocks of mask colour alone, or hold nothing else;
  // those go into their CVOID run as they are found, and only the stretch
  // between them through the passes.
  void encode(const uint8_t* top, const uint8_t* bottom, int blocks, RunWriter& runs) {
    int lead = 0;
    while (lead < blocks && maskBlock(top, bottom, lead)) ++lead;
    int trail = 0;
    while (trail < blocks - lead && maskBlock(top, bottom, blocks - 1 - trail)) ++trail;
    writeOthers(tXMGEncoder::CVOID, top, bottom, 0, lead, runs);
    const int inner = blocks - lead - trail;
    if (inner > 0) encodeStretch(top + 6 * lead, bottom + 6 * lead, inner, runs);
    writeOthers(tXMGEncoder::CVOID, top, bottom, blocks - trail, trail, runs);
  }

 private:
  static bool maskBlock(const uint8_t* top, const uint8_t* bottom, int block) {
    static constexpr uint8_t kMaskPair[6] = {tXMGEncoder::MASK_R, tXMGEncoder::MASK_G, tXMGEncoder::MASK_B,
                                             tXMGEncoder::MASK_R, tXMGEncoder::MASK_G, tXMGEncoder::MASK_B};
    return std::memcmp(top + 6 * block, kMaskPair, 6) == 0 && std::memcmp(bottom + 6 * block, kMaskPair, 6) == 0;
  }

  void encodeStretch(const uint8_t* top, const uint8_t* bottom, int blocks, RunWriter& runs) {
    sampleRow(passes_, top, 2 * blocks, top_);
    sampleRow(passes_, bottom, 2 * blocks, bottom_);
    sumBlocks(passes_, blocks, top_, bottom_, blocks_);
    if (!blocks_.anyMask) {
      writeYuv(top, bottom, 0, blocks, runs);
      return;
    }
    // Stretches of blocks of one mode, each into its run in one piece.
    const uint8_t* masks = blocks_.masks.data();
    int i = 0;
    while (i < blocks) {
      const uint8_t mode = modeOf(masks[i]);
      const uint8_t* end = std::find_if(masks + i + 1, masks + blocks, [mode](uint8_t m) { return modeOf(m) != mode; });
      const int count = static_cast<int>(end - masks) - i;
      if (mode == tXMGEncoder::CYUV) {
        writeYuv(top, bottom, i, count, runs);
      } else {
        writeOthers(mode, top, bottom, i, count, runs);
      }
      i += count;
    }
  }

  static uint8_t modeOf(uint8_t masks) {
    return masks == 0 ? tXMGEncoder::CYUV : (masks == 4 ? tXMGEncoder::CVOID : tXMGEncoder::cRGB);
  }

  // CVOID or cRGB blocks first to first + count - 1.
  static void writeOthers(uint8_t mode, const uint8_t* top, const uint8_t* bottom, int first, int count,
                          RunWriter& runs) {
    while (count > 0) {
      const int n = static_cast<int>(std::min<size_t>(count, runs.room(mode)));
      uint8_t* out = runs.add(mode, n);
      for (int i = 0; i < n && mode == tXMGEncoder::cRGB; ++i, out += kRgbPayload) {
        std::memcpy(out, top + 6 * (first + i), 6);
        std::memcpy(out + 6, bottom + 6 * (first + i), 6);
      }
      runs.added();
      first += n;
      count -= n;
    }
  }

  // The CYUV payloads of blocks first to first + count - 1, in as many
  // pieces as the runs' longest count asks for.
  void writeYuv(const uint8_t* top, const uint8_t* bottom, int first, int count, RunWriter& runs) {
    while (count > 0) {
      const int n = static_cast<int>(std::min<size_t>(count, runs.room(tXMGEncoder::CYUV)));
      uint8_t* out = runs.add(tXMGEncoder::CYUV, n);
      const uint8_t* lumaTop = top_.luma.data() + 2 * first;
      const uint8_t* lumaBottom = bottom_.luma.data() + 2 * first;
      const uint8_t* chroma = blocks_.chroma.data() + 2 * first;
      for (int i = 0; i < n; ++i) {
        std::memcpy(out + kYuvPayload * i, lumaTop + 2 * i, 2);
        std::memcpy(out + kYuvPayload * i + 2, lumaBottom + 2 * i, 2);
        std::memcpy(out + kYuvPayload * i + 4, chroma + 2 * i, 2);
      }
      if (blocks_.anySteps) {
        for (int i = 0; i < n; ++i) {
          if (!blocks_.steps[first + i]) continue;
          const int x = 6 * (first + i);
          const uint8_t* const pixel[4] = {top + x, top + x + 3, bottom + x, bottom + x + 3};
          chromaPair(pixel, out + kYuvPayload * i);
        }
      }
      runs.added();
      first += n;
      count -= n;
    }
  }

  // One image is encoded with one level's passes throughout.
  const RowPasses& passes_;
  RowSamples top_, bottom_;
  BlockSamples blocks_;
};

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
  BlockRows rows(pixmap.width());
  for (int y = 0; y < pixmap.height(); y += 2) {
    int x = 0;
    if (y + 1 < pixmap.height()) {
      const int inside = pixmap.width() / 2;
      rows.encode(pixmap.row(y), pixmap.row(y + 1), inside, runs);
      x = 2 * inside;
    }
    // What is left: the last column of an odd width, the last row of an odd
    // height, and the one block a row holds even in an image of width 0 (the
    // origin moves on only after a block).
    for (; x < pixmap.width() || x == 0; x += 2) encodeEdgeBlock(pixmap, x, y, runs);
  }
  runs.finish();
  return 0;
}

}  // namespace vh
