// GBK through the C library's iconv. Its table has the euro sign at 0x80
// and no user-defined areas, which is the table both platforms keep.
#include <iconv.h>

#include <cerrno>
#include <cstdint>

#include "common/little_endian.h"
#include "translation/gbk_codec.h"

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

constexpr size_t kPointBytes = 4;

}  // namespace

std::optional<std::u32string> decodeGbk(std::string_view gbk) {
  size_t stoppedAt = 0;
  const auto bytes = Converter("UTF-32LE", "GBK").convert(gbk, stoppedAt);
  if (!bytes) return std::nullopt;
  std::u32string points;
  points.reserve(bytes->size() / kPointBytes);
  for (size_t i = 0; i + kPointBytes <= bytes->size(); i += kPointBytes) {
    points.push_back(loadLE32(reinterpret_cast<const uint8_t*>(bytes->data() + i)));
  }
  return points;
}

std::optional<std::string> encodeGbk(std::u32string_view points, size_t& unmapped) {
  std::string bytes(points.size() * kPointBytes, '\0');
  for (size_t i = 0; i < points.size(); ++i) {
    storeLE32(reinterpret_cast<uint8_t*>(bytes.data() + i * kPointBytes), points[i]);
  }
  size_t stoppedAt = 0;
  auto gbk = Converter("GBK", "UTF-32LE").convert(bytes, stoppedAt);
  if (!gbk) unmapped = stoppedAt / kPointBytes;
  return gbk;
}

}  // namespace vh
