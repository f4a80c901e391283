#include "xmg/xmg.h"

#include "common/little_endian.h"

namespace vh {

int tXMGHeader::read(Stream& stream) {
  version = stream.readI32();
  // The mask bytes stand red, green, blue in the file although the record
  // declares them red, blue, green.
  mask_r = stream.readU8();
  mask_g = stream.readU8();
  mask_b = stream.readU8();
  stream.readU8();  // the void byte: read past, the record keeps its own
  width = stream.readI32();
  height = stream.readI32();
  linelength = stream.readI32();
  unknown3 = stream.readI32();
  unknown4 = stream.readI32();
  return 0;
}

int tXMGHeader::setupDefault() {
  version = 3;
  mask_r = 0;
  mask_g = 255;
  mask_b = 255;
  return 0;
}

int tXMGHeader::save(Stream& stream) {
  linelength = static_cast<int32_t>(static_cast<uint32_t>(width) * 3u);
  uint8_t bytes[kSize];
  auto put32 = [&bytes](size_t at, int32_t value) { storeLE32(bytes + at, static_cast<uint32_t>(value)); };
  put32(0, version);
  bytes[4] = mask_r;
  bytes[5] = mask_g;
  bytes[6] = mask_b;
  bytes[7] = 0;
  put32(8, width);
  put32(12, height);
  put32(16, linelength);
  put32(20, unknown3);
  put32(24, unknown4);
  stream.write(bytes, kSize);
  return 0;
}

}  // namespace vh
