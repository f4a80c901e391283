#include "common/line_reader.h"

#include <algorithm>

namespace vh {

namespace {

constexpr size_t kBlock = 1 << 16;

void keepSome(std::string& text, std::string_view piece, size_t keep) {
  if (text.size() < keep) text.append(piece.data(), std::min(piece.size(), keep - text.size()));
}

}  // namespace

LineReader::LineReader(Stream& source) : source_(source), block_(kBlock) {}

bool LineReader::fill() {
  if (at_ < end_) return true;
  at_ = end_ = 0;
  if (source_.atEnd()) return false;
  end_ = source_.read(block_.data(), block_.size());
  return end_ > 0;
}

bool LineReader::atEnd() { return !inLine_ && !fill(); }

LineReader::Ended LineReader::next(char stop, std::string_view& piece) {
  inLine_ = true;
  while (fill()) {
    const char* const from = block_.data() + at_;
    const char* const to = block_.data() + end_;
    const char* const special =
        std::find_if(from, to, [stop](char c) { return c == '\n' || c == '\0' || c == '\r' || c == stop; });
    if (special != from) {
      piece = std::string_view(from, static_cast<size_t>(special - from));
      at_ += piece.size();
      return Ended::Piece;
    }
    ++at_;
    if (*special == '\r') continue;
    if (*special == stop && stop != '\n') return Ended::Stop;
    inLine_ = false;
    return Ended::Line;
  }
  inLine_ = false;
  return Ended::Line;
}

bool LineReader::nextPiece(std::string_view& piece) { return next('\n', piece) == Ended::Piece; }

bool LineReader::readUntil(char stop, size_t keep, std::string& text, uint64_t& length) {
  text.clear();
  length = 0;
  std::string_view piece;
  for (;;) {
    switch (next(stop, piece)) {
      case Ended::Piece:
        keepSome(text, piece, keep);
        length += piece.size();
        break;
      case Ended::Stop:
        return true;
      case Ended::Line:
        return false;
    }
  }
}

uint64_t LineReader::readRest(size_t keep, std::string& text) {
  uint64_t length = 0;
  readUntil('\n', keep, text, length);
  return length;
}

bool LineReader::readKey(size_t longest, std::string& key) {
  uint64_t length = 0;
  const bool valueFollows = readUntil('=', longest + 1, key, length);
  if (!valueFollows || (length > 0 && length <= longest)) return valueFollows;
  // All of it is key, or a key too long to be known: nothing of it is used.
  if (length == 0) key.assign(1, '=');
  std::string ignored;
  readRest(0, ignored);
  return false;
}

}  // namespace vh
