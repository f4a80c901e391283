#include "translation/gbk.h"

#include "translation/gbk_codec.h"

#include <cstdint>
#include <cstdio>

namespace vh {

namespace {

// The code points of UTF-8 as RFC 3629 has it: no overlong forms, no
// surrogates, nothing past U+10FFFF, no character cut off. Where bytes
// begin no character, the code points before them and their offset.
struct Utf8Decoded {
  std::u32string points;
  std::optional<size_t> fault;
};

Utf8Decoded decodeUtf8(std::string_view utf8) {
  Utf8Decoded decoded;
  std::u32string& points = decoded.points;
  points.reserve(utf8.size());
  const auto byteAt = [&](size_t at) { return at < utf8.size() ? static_cast<uint8_t>(utf8[at]) : 0; };
  for (size_t at = 0; at < utf8.size();) {
    const uint8_t lead = byteAt(at);
    // The length of the character and the range its second byte must lie
    // in, which is what rules out the overlong forms, the surrogates and
    // what lies past U+10FFFF.
    size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    bool whole = length > 0 && at + length <= utf8.size();
    for (size_t i = 1; whole && i < length; ++i) {
      const uint8_t next = byteAt(at + i);
      whole = i == 1 ? next >= low && next <= high : (next & 0xC0) == 0x80;
    }
    if (!whole) {
      decoded.fault = at;
      return decoded;
    }
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) point = (point << 6) | (byteAt(at + i) & 0x3F);
    points.push_back(point);
    at += length;
  }
  return decoded;
}

std::string encodeUtf8(std::u32string_view points) {
  std::string utf8;
  utf8.reserve(points.size() * 3);
  for (const char32_t point : points) {
    if (point < 0x80) {
      utf8 += static_cast<char>(point);
    } else if (point < 0x800) {
      utf8 += static_cast<char>(0xC0 | (point >> 6));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (point >> 12));
      utf8 += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (point >> 18));
      utf8 += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    }
  }
  return utf8;
}

// The byte offset of the character with the given index in well-formed
// UTF-8: characters begin at every byte that is no continuation byte.
size_t offsetOfCharacter(std::string_view utf8, size_t index) {
  for (size_t at = 0; at < utf8.size(); ++at) {
    if ((static_cast<uint8_t>(utf8[at]) & 0xC0) == 0x80) continue;
    if (index-- == 0) return at;
  }
  return utf8.size();
}

}  // namespace

std::optional<std::string> gbkToUtf8(std::string_view gbk) {
  const auto points = decodeGbk(gbk);
  if (!points) return std::nullopt;
  return encodeUtf8(*points);
}

std::optional<std::string> utf8ToGbk(std::string_view utf8, GbkFault* fault) {
  // The first fault in the text is the one named: a character GBK lacks
  // before the bytes that are no UTF-8, or those bytes.
  const Utf8Decoded decoded = decodeUtf8(utf8);
  size_t unmapped = 0;
  auto gbk = encodeGbk(decoded.points, unmapped);
  if (gbk && !decoded.fault) return gbk;
  if (fault) fault->offset = gbk ? *decoded.fault : offsetOfCharacter(utf8, unmapped);
  return std::nullopt;
}

bool roundTripsThroughUtf8(std::string_view gbk) {
  const auto utf8 = gbkToUtf8(gbk);
  if (!utf8) return false;
  const auto back = utf8ToGbk(*utf8);
  return back && *back == gbk;
}

std::optional<size_t> gbkTextLength(std::string_view gbk) {
  const auto points = decodeGbk(gbk);
  if (!points) return std::nullopt;
  for (const char32_t point : *points) {
    const bool lineBreak = point == '\n' || point == '\r';
    const bool control = point < 0x20 || (point >= 0x7F && point < 0xA0);
    const bool userDefined = point >= 0xE000 && point <= 0xF8FF;
    if ((control && !lineBreak) || userDefined) return std::nullopt;
  }
  return points->size();
}

std::optional<std::string> archiveName(std::string_view name) {
  if (decodeUtf8(name).fault) return std::string(name);
  return utf8ToGbk(name);
}

std::string diskName(std::string_view stored) { return gbkToUtf8(stored).value_or(std::string(stored)); }

Utf8Reading readAsUtf8(std::string_view bytes) {
  const Utf8Decoded decoded = decodeUtf8(bytes);
  if (decoded.fault) return Utf8Reading::None;
  bool beyondAscii = false, wide = false;
  for (const char32_t point : decoded.points) {
    beyondAscii = beyondAscii || point >= 0x80;
    wide = wide || point >= 0x800;
  }
  return wide ? Utf8Reading::Wide : beyondAscii ? Utf8Reading::Narrow : Utf8Reading::None;
}

std::string describeUtf8Character(std::string_view utf8, size_t offset) {
  if (offset >= utf8.size()) return "the end of the text";
  const auto lead = static_cast<unsigned char>(utf8[offset]);
  const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  char text[32];
  if (length == 0 || offset + length > utf8.size()) {
    std::snprintf(text, sizeof text, "the byte \\x%02X", lead);
    return text;
  }
  uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(utf8[offset + i]);
    if ((next & 0xC0) != 0x80) {
      std::snprintf(text, sizeof text, "the byte \\x%02X", lead);
      return text;
    }
    code = (code << 6) | (next & 0x3F);
  }
  std::snprintf(text, sizeof text, " (U+%04X)", code);
  return "\"" + std::string(utf8.substr(offset, length)) + "\"" + text;
}

}  // namespace vh
