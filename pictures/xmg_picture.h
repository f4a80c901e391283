// The game's XMG images as pictures a translator edits, and back. Pixels of
// the mask colour become fully transparent in a picture with alpha, and fully
// transparent pixels become the mask colour again, so the transparent parts
// survive any editor. PPM has no alpha: there the mask colour stays a colour.
// vhtool's xmg2png and png2xmg and the package builder share these, so a
// picture the builder packs is byte for byte what png2xmg makes of it.
#pragma once

#include <string>

#include "common/byte_buffer.h"
#include "common/fault.h"
#include "common/pixel_map.h"
#include "pictures/picture.h"
#include "xmg/xmg.h"

namespace vh {

struct XmgImage {
  PixelMap pixels;
  tXMGHeader header;
};

// Decodes the XMG file at `path`; a fault naming the file when it cannot be
// read, is shorter than a header or holds no valid image.
Result<XmgImage> readXmgFile(const std::string& path);

// The image as a picture of the kind `asPng` says; see the mask rule above.
Picture pictureFromXmg(const XmgImage& image, bool asPng);

// The XMG encoding of the picture file at `path` (".png" or ".ppm"); the
// fault of readPicture when it cannot be read.
Result<ByteBufferPtr> encodePictureFile(const std::string& path);

}  // namespace vh
