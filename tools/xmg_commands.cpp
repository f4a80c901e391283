// vhtool xmg2png and png2xmg: the game's images to and from pictures a
// translator can edit. Pixels of the mask colour become fully transparent
// in a PNG, and fully transparent pixels become the mask colour again, so
// the transparent parts survive any editor. PPM has no alpha: there the mask
// colour stays a colour.
#include <cstdio>
#include <exception>

#include "common/byte_buffer.h"
#include "common/replacing_file.h"
#include "common/stream.h"
#include "tools/commands.h"
#include "pictures/picture_files.h"
#include "xmg/xmg.h"

namespace vh::tool {

namespace {

Picture toPicture(const PixelMap& image, const tXMGHeader& header, bool maskToTransparent) {
  Picture picture;
  picture.width = image.width();
  picture.height = image.height();
  picture.rgba.resize(static_cast<size_t>(picture.width) * picture.height * 4);
  uint8_t* out = picture.rgba.data();
  for (int y = 0; y < image.height(); ++y) {
    const uint8_t* p = image.row(y);
    for (int x = 0; x < image.width(); ++x, p += 3, out += 4) {
      out[0] = p[0];
      out[1] = p[1];
      out[2] = p[2];
      const bool mask = p[0] == header.mask_r && p[1] == header.mask_g && p[2] == header.mask_b;
      out[3] = maskToTransparent && mask ? 0 : 255;
    }
  }
  return picture;
}

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

bool twoPaths(const Args& args, const char* name, const char* usage) {
  if (args.size() == 2) return true;
  std::fprintf(stderr, "usage: vhtool %s %s\n", name, usage);
  return false;
}

}  // namespace

int xmgToPicture(const Args& args) {
  if (!twoPaths(args, "xmg2png", "IN.xmg OUT.png|OUT.ppm")) return 2;
  const std::string& in = args[0];
  const std::string& out = args[1];
  try {
    const auto kind = pictureKindOf(out);
    if (!kind) throw PictureError(out + ": unknown picture type (use .png or .ppm)");
    auto stream = FileStream::open(in, FileMode::Read);
    if (!stream) throw PictureError(in + ": cannot open the file");
    // The decoder reads a short header as zeros; a file that cannot even
    // hold one is no image.
    if (stream->size() < static_cast<int64_t>(tXMGHeader::kSize)) {
      throw PictureError(in + ": not an XMG image (shorter than its header)");
    }
    tXMGLoader loader;
    PixelMap image;
    try {
      image = loader.toPixmap(*stream);
    } catch (const XmgError& e) {
      throw PictureError(in + ": " + e.what());
    }
    writePicture(out, toPicture(image, *loader.header, *kind == PictureKind::Png));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vhtool xmg2png: %s\n", e.what());
    return 1;
  }
  return 0;
}

int pictureToXmg(const Args& args) {
  if (!twoPaths(args, "png2xmg", "IN.png|IN.ppm OUT.xmg")) return 2;
  const std::string& in = args[0];
  const std::string& out = args[1];
  try {
    const Picture picture = readPicture(in);
    const PixelMap image = toPixelMap(picture, pictureKindOf(in) == PictureKind::Png);
    auto buffer = std::make_shared<ByteBuffer>();
    BufferStream encoded(buffer);
    tXMGEncoder().saveXMG(image, encoded);
    auto file = ReplacingFile::create(out);
    if (!file) throw PictureError(out + ": cannot create the file");
    file->stream().write(buffer->data(), buffer->size());
    if (!file->commit()) throw PictureError(out + ": cannot write the file");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vhtool png2xmg: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace vh::tool
