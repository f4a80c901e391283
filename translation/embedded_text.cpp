#include "translation/embedded_text.h"

#include "common/byte_reader.h"

namespace vh {

std::optional<std::string_view> embeddedText(std::string_view subString, size_t prefix) {
  ByteReader reader(subString);
  if (!reader.skip(prefix)) return std::nullopt;
  const std::optional<uint16_t> length = reader.tryU16();
  if (!length) return std::nullopt;
  return reader.tryBytes(*length);
}

}  // namespace vh
