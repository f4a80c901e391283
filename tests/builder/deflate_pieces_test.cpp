#include "builder/deflate_pieces.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace vh {
namespace {

// The bytes a raw deflate stream inflates to; nothing when it is no whole,
// single stream with nothing after it.
std::optional<std::vector<uint8_t>> inflateRaw(const MemberBytes& stream) {
  z_stream inflater{};
  if (inflateInit2(&inflater, -MAX_WBITS) != Z_OK) return std::nullopt;
  std::vector<uint8_t> out;
  std::vector<uint8_t> block(1 << 16);
  inflater.next_in = const_cast<Bytef*>(stream.data());
  inflater.avail_in = static_cast<uInt>(stream.size());
  int result = Z_OK;
  while (result == Z_OK) {
    inflater.next_out = block.data();
    inflater.avail_out = static_cast<uInt>(block.size());
    result = inflate(&inflater, Z_NO_FLUSH);
    out.insert(out.end(), block.data(), block.data() + (block.size() - inflater.avail_out));
    if (result == Z_OK && inflater.avail_in == 0 && inflater.avail_out != 0) result = Z_BUF_ERROR;
  }
  const bool whole = result == Z_STREAM_END && inflater.avail_in == 0;
  inflateEnd(&inflater);
  if (!whole) return std::nullopt;
  return out;
}

enum class Content { Repeating, Noise, Text };

// Repeating bytes are a pattern longer than a piece, so that deflate finds
// its matches only across the cut; noise does not compress at all.
MemberBytes contentOf(Content content, size_t count) {
  MemberBytes bytes(count);
  std::mt19937 random(11);
  std::vector<uint8_t> pattern(3001);
  for (uint8_t& byte : pattern) byte = static_cast<uint8_t>(random());
  for (size_t i = 0; i < count; ++i) {
    switch (content) {
      case Content::Repeating: bytes[i] = pattern[i % pattern.size()]; break;
      case Content::Noise: bytes[i] = static_cast<uint8_t>(random()); break;
      case Content::Text: bytes[i] = static_cast<uint8_t>("lorem ipsum dolor sit amet\r\n"[i % 28] + (i / 4096) % 3); break;
    }
  }
  return bytes;
}

PackedMember inPieces(const MemberBytes& bytes, const DeflatePieces& cut, int level) {
  std::vector<DeflatedPiece> pieces;
  for (size_t i = 0; i < cut.piecesOf(bytes.size()); ++i) {
    pieces.push_back(deflatePiece(bytes.data(), bytes.size(), i, cut, level));
  }
  PackedMember joined = memberOfPieces(pieces, level);
  for (const DeflatedPiece& piece : pieces) {
    joined.compressed.insert(joined.compressed.end(), piece.compressed.begin(), piece.compressed.end());
  }
  return joined;
}

TEST(DeflatePieces, HowManyPiecesAMemberIsCutInto) {
  struct Case {
    uint64_t count;
    size_t pieces;
  };
  const DeflatePieces cut{1000, 2500};
  const Case cases[] = {
      {0, 0}, {999, 0}, {2499, 0},  // below the size that goes in pieces
      {2500, 3}, {2999, 3}, {3000, 3}, {3001, 4}, {1000000, 1000},
  };
  for (const Case& c : cases) EXPECT_EQ(cut.piecesOf(c.count), c.pieces) << c.count;
  // Pieces of no size cut nothing.
  EXPECT_EQ((DeflatePieces{0, 1}).piecesOf(5000), 0u);
}

TEST(DeflatePieces, TheJoinedStreamInflatesToTheMemberAtEveryPieceBoundary) {
  constexpr size_t kPiece = 40000;  // more than deflate's window
  struct Case {
    const char* what;
    size_t count;
    Content content;
  };
  const Case cases[] = {
      {"one byte", 1, Content::Text},
      {"one piece less a byte", kPiece - 1, Content::Repeating},
      {"exactly one piece", kPiece, Content::Repeating},
      {"one piece and a byte", kPiece + 1, Content::Repeating},
      {"two pieces less a byte", 2 * kPiece - 1, Content::Text},
      {"exactly two pieces", 2 * kPiece, Content::Text},
      {"two pieces and a byte", 2 * kPiece + 1, Content::Noise},
      {"many pieces of noise", 7 * kPiece + 123, Content::Noise},
      {"many pieces of a long pattern", 9 * kPiece + 5, Content::Repeating},
  };
  const DeflatePieces cut{kPiece, 1};
  for (const Case& c : cases) {
    for (const int level : {Z_DEFAULT_COMPRESSION, 1, 9}) {
      SCOPED_TRACE(std::string(c.what) + " at level " + std::to_string(level));
      const MemberBytes bytes = contentOf(c.content, c.count);
      const PackedMember joined = inPieces(bytes, cut, level);
      const PackedMember whole = deflateMember(bytes.data(), bytes.size(), level);
      EXPECT_EQ(joined.size, c.count);
      EXPECT_EQ(joined.crc, crc32_z(crc32(0L, Z_NULL, 0), bytes.data(), bytes.size()));
      EXPECT_EQ(joined.flag, ZipWriter::levelFlag(level));
      const auto inflated = inflateRaw(joined.compressed);
      ASSERT_TRUE(inflated.has_value());
      EXPECT_TRUE(std::equal(inflated->begin(), inflated->end(), bytes.begin(), bytes.end()));
      if (c.count <= kPiece) {
        // One piece is one pass over the member, as minizip makes it.
        EXPECT_TRUE(joined.compressed == whole.compressed);
        EXPECT_EQ(joined.internalAttributes, whole.internalAttributes);
      } else {
        // Each cut costs a block header and a flush, but no lost matches:
        // the previous piece's tail is the next one's dictionary (without
        // it, a piece of the long pattern would cost thousands of bytes).
        EXPECT_LE(joined.compressed.size(), whole.compressed.size() + cut.piecesOf(c.count) * 128);
      }
    }
  }
}

TEST(DeflatePieces, APieceIsTheSameWhateverElseIsDeflated) {
  // Workers deflate the pieces in any order, each alone: a piece depends on
  // the member's bytes and its index only.
  const MemberBytes bytes = contentOf(Content::Text, 100000);
  const DeflatePieces cut{30000, 1};
  const DeflatedPiece third = deflatePiece(bytes.data(), bytes.size(), 2, cut, 6);
  for (size_t i = 0; i < 4; ++i) (void)deflatePiece(bytes.data(), bytes.size(), i, cut, 6);
  EXPECT_TRUE(deflatePiece(bytes.data(), bytes.size(), 2, cut, 6).compressed == third.compressed);
  EXPECT_EQ(third.count, 30000u);
  const DeflatedPiece last = deflatePiece(bytes.data(), bytes.size(), 3, cut, 6);
  EXPECT_EQ(last.count, 10000u);
  // Every piece but the last ends on the empty stored block of a sync flush.
  const MemberBytes& stream = third.compressed;
  ASSERT_GE(stream.size(), 4u);
  EXPECT_EQ(std::vector<uint8_t>(stream.end() - 4, stream.end()), (std::vector<uint8_t>{0x00, 0x00, 0xFF, 0xFF}));
}

TEST(DeflatePieces, ALevelZlibRefusesThrows) {
  const MemberBytes bytes = contentOf(Content::Text, 100);
  EXPECT_THROW((void)deflatePiece(bytes.data(), bytes.size(), 0, DeflatePieces{10, 1}, 42), std::runtime_error);
}

}  // namespace
}  // namespace vh
