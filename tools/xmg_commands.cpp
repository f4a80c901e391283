// vhtool xmg2png and png2xmg: the game's images to and from pictures a
// translator can edit, by the mask rule of pictures/xmg_picture.h.
#include <cstdio>
#include <exception>

#include "common/byte_buffer.h"
#include "common/stream.h"
#include "tools/commands.h"
#include "pictures/picture_files.h"
#include "pictures/xmg_picture.h"
#include "tools/tool_services.h"

namespace vh::tool {

namespace {

// Both commands take IN and OUT; a picture that cannot be read, converted
// or written is the command's failure (status 1), said on standard error.
template <class Convert>
int convertFile(const Args& args, const char* name, const char* usage, Convert convert) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: vhtool %s %s\n", name, usage);
    return 2;
  }
  try {
    convert(args[0], args[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vhtool %s: %s\n", name, e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int xmgToPicture(const Args& args) {
  return convertFile(args, "xmg2png", "IN.xmg OUT.png|OUT.ppm", [](const std::string& in, const std::string& out) {
    const auto kind = pictureKindOf(out);
    if (!kind) throw PictureError(out + ": unknown picture type (use .png or .ppm)");
    const Result<XmgImage> image = readXmgFile(in);
    if (!image) throw PictureError(image.fault().detail);
    ToolServices tool;
    writePicture(tool.files, out, pictureFromXmg(image.value(), *kind == PictureKind::Png));
  });
}

int pictureToXmg(const Args& args) {
  return convertFile(args, "png2xmg", "IN.png|IN.ppm OUT.xmg", [](const std::string& in, const std::string& out) {
    const Result<ByteBufferPtr> encoded = encodePictureFile(in);
    if (!encoded) throw PictureError(encoded.fault().detail);
    const ByteBufferPtr& buffer = encoded.value();
    ToolServices tool;
    auto file = tool.files.create(out);
    if (!file) throw PictureError(out + ": cannot create the file");
    file->stream().write(buffer->data(), buffer->size());
    if (!tool.files.replace(*file, FolderSync::Now)) throw PictureError(out + ": cannot write the file");
  });
}

}  // namespace vh::tool
