// A large member deflated in pieces on several threads and joined into one
// raw deflate stream. Each piece starts with the previous piece's last
// 32 KiB as its dictionary, so matches reach back across the cut as they
// would in one pass, and every piece but the last ends on a byte boundary
// with a sync flush (an empty stored block); the last finishes the stream.
// The joined stream depends on the bytes, the level and the piece size only,
// never on how many threads deflated it, but differs from the stream one
// pass over the whole member makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/zip.h"

namespace vh {

struct DeflatePieces {
  // Bytes of source per piece, at most kMaxSize.
  size_t size = 1u << 20;
  static constexpr size_t kMaxSize = 1u << 30;
  // Members of at least this many bytes are deflated in pieces when there
  // are workers; smaller ones go whole, as minizip deflates them.
  uint64_t from = 4u << 20;

  // How many pieces a member of `count` bytes is cut into; 0 for one that
  // goes whole.
  [[nodiscard]] size_t piecesOf(uint64_t count) const {
    return size == 0 || size > kMaxSize || count < from || count == 0 ? 0
                                                                      : static_cast<size_t>((count + size - 1) / size);
  }
};

// One piece's share of the joined stream.
struct DeflatedPiece {
  MemberBytes compressed;
  uint32_t crc = 0;  // of the piece's source bytes
  uint32_t streamCrc = 0;  // of its share of the stream, `compressed`
  size_t count = 0;  // source bytes
  bool text = false;  // deflate took the piece's first block for text
};

// Deflates piece `index` of the `count` bytes at `bytes` cut as `pieces`
// says; throws std::runtime_error when zlib refuses the level.
[[nodiscard]] DeflatedPiece deflatePiece(const uint8_t* bytes, size_t count, size_t index, const DeflatePieces& pieces,
                                         int level);

// The member the pieces make, in order, but for its stream, which is their
// streams one after the other and goes to the writer a piece at a time
// (ZipWriter::WritePacked): the CRC-32 of the whole, and the text mark of
// the first, as minizip would record it for a stream it deflated itself.
// Reads only the pieces' counts, CRCs and text marks.
[[nodiscard]] PackedMember memberOfPieces(const std::vector<DeflatedPiece>& pieces, int level);

}  // namespace vh
