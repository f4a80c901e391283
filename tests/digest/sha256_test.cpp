#include "digest/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace vh {
namespace {

// The digests every SHA-256 must give, spelt out: the empty input, "abc",
// the two-block message and a million "a"s.
struct Known {
  std::string input;
  std::string hex;
};

const Known kKnown[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, WholeAndInPiecesGiveTheKnownDigests) {
  for (const Known& known : kKnown) {
    SCOPED_TRACE(known.input.substr(0, 16));
    EXPECT_EQ(sha256Hex(known.input), known.hex);
    // Pieces of every size up to a block and a half, split anywhere.
    for (size_t piece : {1u, 7u, 64u, 96u}) {
      Sha256 digest;
      for (size_t at = 0; at < known.input.size(); at += piece) {
        digest.add(std::string_view(known.input).substr(at, piece));
      }
      EXPECT_EQ(digest.hex(), known.hex) << piece;
    }
  }
}

}  // namespace
}  // namespace vh
