#include "pictures/xmg_picture.h"

#include "common/stream.h"
#include "pictures/picture_files.h"

namespace vh {

namespace {

PixelMap toPixelMap(const Picture& picture, bool transparentToMask) {
  PixelMap image(picture.width, picture.height);
  const uint8_t* in = picture.rgba.data();
  for (int y = 0; y < picture.height; ++y) {
    uint8_t* p = image.row(y);
    for (int x = 0; x < picture.width; ++x, p += 3, in += 4) {
      if (transparentToMask && in[3] == 0) {
        p[0] = tXMGEncoder::MASK_R;
        p[1] = tXMGEncoder::MASK_G;
        p[2] = tXMGEncoder::MASK_B;
      } else {
        p[0] = in[0];
        p[1] = in[1];
        p[2] = in[2];
      }
    }
  }
  return image;
}

}  // namespace

Result<XmgImage> readXmgFile(const std::string& path) {
  auto stream = FileStream::open(path, FileMode::Read);
  if (!stream) return Fault{FaultKind::CannotOpen, path + ": cannot open the file"};
  // The decoder reads a short header as zeros; a file that cannot even hold
  // one is no image.
  if (stream->size() < static_cast<int64_t>(tXMGHeader::kSize)) {
    return Fault{FaultKind::BadSize, path + ": not an XMG image (shorter than its header)"};
  }
  tXMGLoader loader;
  Result<PixelMap> pixels = loader.decode(*stream);
  if (!pixels) return Fault{pixels.fault().kind, path + ": " + pixels.fault().detail};
  XmgImage image;
  image.pixels = std::move(pixels.value());
  image.header = *loader.header;
  return image;
}

Picture pictureFromXmg(const XmgImage& image, bool asPng) {
  const PixelMap& pixels = image.pixels;
  const tXMGHeader& header = image.header;
  Picture picture;
  picture.width = pixels.width();
  picture.height = pixels.height();
  picture.rgba.resize(static_cast<size_t>(picture.width) * picture.height * 4);
  uint8_t* out = picture.rgba.data();
  for (int y = 0; y < pixels.height(); ++y) {
    const uint8_t* p = pixels.row(y);
    for (int x = 0; x < pixels.width(); ++x, p += 3, out += 4) {
      out[0] = p[0];
      out[1] = p[1];
      out[2] = p[2];
      const bool mask = p[0] == header.mask_r && p[1] == header.mask_g && p[2] == header.mask_b;
      out[3] = asPng && mask ? 0 : 255;
    }
  }
  return picture;
}

Result<ByteBufferPtr> encodePictureFile(const std::string& path) {
  const Result<Picture> picture = readPicture(path);
  if (!picture) return picture.fault();
  const PixelMap image = toPixelMap(picture.value(), pictureKindOf(path) == PictureKind::Png);
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream encoded(buffer);
  tXMGEncoder().saveXMG(image, encoded);
  return buffer;
}

}  // namespace vh
