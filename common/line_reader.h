// Lines of a stream read a block at a time and handed out in pieces, so that
// a line of any length is read through without being held: a package member
// may hold a line of a gigabyte, and only what the reader keeps of it costs
// memory.
//
// The line rule is the stream's own (Stream::readLine): a line feed, a 0 byte
// or the end of the data ends a line and is not part of it, and every
// carriage return is dropped wherever it stands. `while (!lines.atEnd())`
// visits the same lines as `while (!stream.atEnd()) stream.readLine()`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/stream.h"

namespace vh {

class LineReader {
 public:
  // Reads `source` from its position on; the stream is the reader's while
  // it reads, as the reader runs ahead of the lines it has handed out.
  explicit LineReader(Stream& source);

  // True when every line has been read.
  bool atEnd();

  // The next piece of the line at hand, in order, without carriage returns;
  // false once the line has ended, after which the next call starts on the
  // next line. A piece lives until the next call.
  bool nextPiece(std::string_view& piece);

  // The line at hand up to the first `stop` byte, which is taken as well,
  // or up to its end. At most `keep` bytes of it are held; `length` receives
  // how many there were. True when `stop` ended it: the line goes on.
  bool readUntil(char stop, size_t keep, std::string& text, uint64_t& length);

  // The rest of the line at hand (a whole line, when none is at hand), with
  // at most `keep` bytes held; returns its whole length.
  uint64_t readRest(size_t keep, std::string& text);

  // The key of the line at hand (a whole line, when none is at hand) by the
  // key-value rule (splitKeyValue), for readers whose keys have at most
  // `longest` bytes. True when the line's value follows, to be read next;
  // false when the line has ended, a line without "=" being all key with an
  // empty value. A longer key, or a line that starts with "=" (all key), is
  // read through and comes out as a text of more than `longest` bytes or
  // starting with "=", which equals no key the reader knows.
  bool readKey(size_t longest, std::string& key);

 private:
  enum class Ended { Piece, Stop, Line };
  Ended next(char stop, std::string_view& piece);
  bool fill();

  Stream& source_;
  std::vector<char> block_;
  size_t at_ = 0;
  size_t end_ = 0;
  bool inLine_ = false;
};

}  // namespace vh
