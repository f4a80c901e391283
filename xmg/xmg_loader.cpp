#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "xmg/row_passes.h"
#include "xmg/xmg.h"

namespace vh {

namespace {

constexpr uint8_t kModeNone = 3;  // a two-byte opcode with mode bits 11
constexpr uint8_t kDamagedOpcode = 0xFF;
constexpr uint8_t kLongOpcode = 0xC0;  // and above: a second count byte follows
constexpr int kCanvasMargin = 10;
constexpr size_t kYuvPayload = 6;
constexpr size_t kRgbPayload = 12;
constexpr size_t kMaxRunBlocks = 4095;

// The blocks of one block row's stretch of a CYUV run, drawn in the row
// passes (row_passes.h): the payloads are taken apart into the luma of each
// row and the chroma of each block, the chroma into the three offsets of
// each pixel, and then each row's pixels are put together.
class YuvBlocks {
 public:
  YuvBlocks()
      : passes_(rowPasses()), top_(kMaxRunBlocks), bottom_(kMaxRunBlocks), chroma_(kMaxRunBlocks),
        red_(2 * kMaxRunBlocks), green_(2 * kMaxRunBlocks), blue_(2 * kMaxRunBlocks), r_(2 * kMaxRunBlocks),
        g_(2 * kMaxRunBlocks), b_(2 * kMaxRunBlocks) {}

  // `blocks` payloads of six bytes, at most kMaxRunBlocks; the top and
  // bottom rows' pixels out, three bytes each, red, green, blue.
  void draw(const uint8_t* payload, int blocks, uint8_t* top, uint8_t* bottom) {
    passes_.splitPayloads(payload, blocks, top_.data(), bottom_.data(), chroma_.data());
    passes_.chromaOffsets(chroma_.data(), blocks, red_.data(), green_.data(), blue_.data());
    drawRow(top_.data(), 2 * blocks, top);
    drawRow(bottom_.data(), 2 * blocks, bottom);
  }

 private:
  void drawRow(const uint16_t* luma, int pixels, uint8_t* out) {
    passes_.colours(reinterpret_cast<const uint8_t*>(luma), pixels, red_.data(), green_.data(), blue_.data(),
                    r_.data(), g_.data(), b_.data());
    passes_.interleave(r_.data(), g_.data(), b_.data(), pixels, out);
  }

  // One image is drawn with one level's passes throughout.
  const RowPasses& passes_;
  std::vector<uint16_t> top_, bottom_, chroma_;
  std::vector<int16_t> red_, green_, blue_;
  std::vector<uint8_t> r_, g_, b_;
};

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

  // Blocks from the origin to the end of its block row; at least one, as a
  // row of an image of width 0 still holds one block.
  int blocksLeftInRow() const { return std::max(1, (width_ - x_ + 1) / 2); }

  void advance() { advance(1); }

  // What no block reached stays white: the rest of the block row the origin
  // is in and every row below it. Past the last block row a block may reach,
  // every row of the picture holds drawn blocks.
  void whitenRest(PixelMap& map) const {
    if (!drawable()) return;
    const size_t from = static_cast<size_t>(x_) * PixelMap::kBytesPerPixel;
    if (from < stride_) {
      std::memset(map.row(y_) + from, 0xFF, stride_ - from);
      std::memset(map.row(y_ + 1) + from, 0xFF, stride_ - from);
    }
    if (y_ + 2 < map.height()) {
      std::memset(map.row(y_ + 2), 0xFF, stride_ * static_cast<size_t>(map.height() - y_ - 2));
    }
  }

  // Past `blocks` blocks, no more than blocksLeftInRow().
  void advance(int blocks) {
    x_ += 2 * blocks;
    top_ += static_cast<size_t>(2 * PixelMap::kBytesPerPixel) * blocks;
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

std::string sizeText(const tXMGHeader& h) { return std::to_string(h.width) + " x " + std::to_string(h.height); }

}  // namespace

int tXMGLoader::readheader(Stream& stream) {
  header = std::make_shared<tXMGHeader>();
  header->read(stream);
  return 0;
}

PixelMap tXMGLoader::toPixmap(Stream& stream) {
  Result<PixelMap> decoded = decode(stream);
  if (!decoded) throw XmgError(decoded.fault().detail);
  return std::move(decoded.value());
}

Result<PixelMap> tXMGLoader::decode(Stream& stream) {
  readheader(stream);
  const tXMGHeader& h = *header;
  if (h.width < 0 || h.height < 0 || h.width > kXmgMaxSide || h.height > kXmgMaxSide) {
    return Fault{FaultKind::BadSize, "XMG image size " + sizeText(h) + " is outside 0 to " +
                                         std::to_string(kXmgMaxSide) + ": the data is damaged"};
  }

  // Short data decodes quietly, the undrawn part white; but a large picture
  // over data that cannot even name all its blocks is no truncated image,
  // and its canvas would cost memory the data gives no reason for. The
  // fewest bytes that reach every block are a two-byte opcode per 4095.
  const uint64_t blocks = (static_cast<uint64_t>(h.width) + 1) / 2 * ((static_cast<uint64_t>(h.height) + 1) / 2);
  const uint64_t fewest = (blocks + kMaxRunBlocks - 1) / kMaxRunBlocks * 2;
  const uint64_t canvasPixels = static_cast<uint64_t>(h.width + kCanvasMargin) * (h.height + kCanvasMargin);
  if (canvasPixels > kXmgShortDataPixels && static_cast<uint64_t>(stream.remaining()) < fewest) {
    return Fault{FaultKind::BadSize, "XMG image size " + sizeText(h) + " needs at least " + std::to_string(fewest) +
                                         " bytes of data, the file holds " + std::to_string(stream.remaining()) +
                                         ": the data is damaged"};
  }

  // Blocks are drawn in order from the top left, so the canvas is whitened
  // once, behind the last of them, rather than all of it before.
  PixelMap canvas(h.width + kCanvasMargin, h.height + kCanvasMargin);

  // The mask colour over a whole row's stretch of blocks, for CVOID runs.
  std::vector<uint8_t> maskRow(2 * kMaxRunBlocks * PixelMap::kBytesPerPixel);
  for (size_t i = 0; i < maskRow.size(); i += PixelMap::kBytesPerPixel) {
    maskRow[i] = h.mask_r;
    maskRow[i + 1] = h.mask_g;
    maskRow[i + 2] = h.mask_b;
  }
  Canvas at(canvas, h.width);
  uint8_t mode = CVOID;
  size_t count = 0;
  // One CYUV payload for the whole image: bytes a short read leaves out keep
  // what the previous CYUV block put there.
  uint8_t payload[kYuvPayload] = {};
  std::vector<uint8_t> run(kMaxRunBlocks * kRgbPayload);
  YuvBlocks yuv;

  while (!stream.atEnd() && at.y() < h.height) {
    const uint8_t op = stream.readU8();
    if (op == kDamagedOpcode) {
      return Fault{FaultKind::Damaged,
                   "XMG data damaged: opcode 0xFF at offset " + std::to_string(stream.position() - 1)};
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
        for (size_t i = 0; i < count;) {
          const int n = static_cast<int>(std::min<size_t>(count - i, at.blocksLeftInRow()));
          if (at.drawable()) {
            const size_t bytes = static_cast<size_t>(2 * PixelMap::kBytesPerPixel) * n;
            std::memcpy(at.top(), maskRow.data(), bytes);
            std::memcpy(at.bottom(), maskRow.data(), bytes);
          }
          at.advance(n);
          i += n;
        }
        break;
      case CYUV: {
        const size_t got = readUpTo(stream, run.data(), count * kYuvPayload);
        // Blocks whose six bytes all arrived are drawn from the run itself;
        // the shared payload then holds the last of them, for a block cut
        // short after it.
        const size_t whole = std::min(count, got / kYuvPayload);
        size_t i = 0;
        while (i < whole) {
          const int n = static_cast<int>(std::min<size_t>(whole - i, at.blocksLeftInRow()));
          if (at.drawable()) yuv.draw(run.data() + i * kYuvPayload, n, at.top(), at.bottom());
          at.advance(n);
          i += n;
        }
        if (whole > 0) std::memcpy(payload, run.data() + (whole - 1) * kYuvPayload, kYuvPayload);
        for (; i < count; ++i, at.advance()) {
          const size_t start = i * kYuvPayload;
          if (start < got) std::memcpy(payload, run.data() + start, got - start);
          if (at.drawable()) yuv.draw(payload, 1, at.top(), at.bottom());
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
  at.whitenRest(canvas);
  return canvas.window(0, 0, h.width, h.height);
}

}  // namespace vh
