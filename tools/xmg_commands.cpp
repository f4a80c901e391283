// vhtool xmg2png and png2xmg: the game's images to and from pictures a
// translator can edit, by the mask rule of pictures/xmg_picture.h.
#include <cstdio>
#include <exception>

#include "common/byte_buffer.h"
#include "common/replacing_file.h"
#include "common/stream.h"
#include "tools/commands.h"
#include "pictures/picture_files.h"
#include "pictures/xmg_picture.h"

namespace vh::tool {

namespace {

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
    writePicture(out, pictureFromXmg(readXmgFile(in), *kind == PictureKind::Png));
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
    const ByteBufferPtr buffer = encodePictureFile(in);
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
