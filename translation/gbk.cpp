#include "translation/gbk.h"

#include <iconv.h>

#include "common/little_endian.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace vh {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Converter() {
    if (usable()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // The whole input converted, or nothing with the offset where it stopped.
  std::optional<std::string> convert(std::string_view input, size_t& stoppedAt) {
    stoppedAt = 0;
    if (!usable()) return std::nullopt;
    std::string out;
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t done = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
      if (done == static_cast<size_t>(-1) && errno != E2BIG) {
        stoppedAt = input.size() - inLeft;
        return std::nullopt;
      }
    }
    // A stateless pair of encodings, but the flush keeps that an assumption
    // of iconv's and not of ours.
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    if (iconv(handle_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      stoppedAt = input.size();
      return std::nullopt;
    }
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    return out;
  }

 private:
  bool usable() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t handle_;
};

}  // namespace

std::optional<std::string> gbkToUtf8(std::string_view gbk) {
  size_t stoppedAt = 0;
  return Converter("UTF-8", "GBK").convert(gbk, stoppedAt);
}

std::optional<std::string> utf8ToGbk(std::string_view utf8, GbkFault* fault) {
  size_t stoppedAt = 0;
  auto converted = Converter("GBK", "UTF-8").convert(utf8, stoppedAt);
  if (!converted && fault) fault->offset = stoppedAt;
  return converted;
}

bool roundTripsThroughUtf8(std::string_view gbk) {
  const auto utf8 = gbkToUtf8(gbk);
  if (!utf8) return false;
  const auto back = utf8ToGbk(*utf8);
  return back && *back == gbk;
}

std::optional<size_t> gbkTextLength(std::string_view gbk) {
  size_t stoppedAt = 0;
  const auto points = Converter("UTF-32LE", "GBK").convert(gbk, stoppedAt);
  if (!points) return std::nullopt;
  for (size_t i = 0; i + 4 <= points->size(); i += 4) {
    const uint32_t point = loadLE32(reinterpret_cast<const uint8_t*>(points->data() + i));
    const bool lineBreak = point == '\n' || point == '\r';
    const bool control = point < 0x20 || (point >= 0x7F && point < 0xA0);
    const bool userDefined = point >= 0xE000 && point <= 0xF8FF;
    if ((control && !lineBreak) || userDefined) return std::nullopt;
  }
  return points->size() / 4;
}

std::optional<std::string> archiveName(std::string_view name) {
  size_t stoppedAt = 0;
  if (!Converter("UTF-32LE", "UTF-8").convert(name, stoppedAt)) return std::string(name);
  return utf8ToGbk(name);
}

std::string diskName(std::string_view stored) { return gbkToUtf8(stored).value_or(std::string(stored)); }

Utf8Reading readAsUtf8(std::string_view bytes) {
  // iconv refuses what is not UTF-8 (overlong forms, surrogates, code points
  // past U+10FFFF, a character cut off), so only the code points are ours to
  // weigh.
  size_t stoppedAt = 0;
  const auto points = Converter("UTF-32LE", "UTF-8").convert(bytes, stoppedAt);
  if (!points) return Utf8Reading::None;
  bool beyondAscii = false, wide = false;
  for (size_t i = 0; i + 4 <= points->size(); i += 4) {
    const uint32_t point = loadLE32(reinterpret_cast<const uint8_t*>(points->data() + i));
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
