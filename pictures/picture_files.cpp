#include "pictures/picture_files.h"

#include "common/bytes.h"
#include "common/file_system.h"
#include "common/stream.h"
#include "pictures/png.h"
#include "pictures/ppm.h"

namespace vh {

namespace {

std::string extensionOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return lowerCase(path.substr(dot));
}

}  // namespace

std::optional<PictureKind> pictureKindOf(const std::string& path) {
  const std::string ext = extensionOf(path);
  if (ext == ".png") return PictureKind::Png;
  if (ext == ".ppm") return PictureKind::Ppm;
  return std::nullopt;
}

Result<Picture> readPicture(const std::string& path) {
  const auto kind = pictureKindOf(path);
  if (!kind) return Fault{FaultKind::CannotOpen, path + ": unknown picture type (use .png or .ppm)"};
  auto in = FileStream::open(path, FileMode::Read);
  if (!in) return Fault{FaultKind::CannotOpen, path + ": cannot open the file"};
  std::string bytes(static_cast<size_t>(in->size()), '\0');
  if (in->read(bytes.data(), bytes.size()) != bytes.size()) {
    return Fault{FaultKind::CannotOpen, path + ": cannot read the file"};
  }
  Result<Picture> picture = *kind == PictureKind::Png ? decodePng(bytes) : decodePpm(bytes);
  if (!picture) return Fault{picture.fault().kind, path + ": " + picture.fault().detail};
  return picture;
}

void writePicture(FileSystem& files, const std::string& path, const Picture& picture) {
  const auto kind = pictureKindOf(path);
  if (!kind) throw PictureError(path + ": unknown picture type (use .png or .ppm)");
  std::string bytes;
  try {
    bytes = *kind == PictureKind::Png ? encodePng(picture) : encodePpm(picture);
  } catch (const PictureError& e) {
    throw PictureError(path + ": " + e.what());
  }
  auto out = files.create(path);
  if (!out) throw PictureError(path + ": cannot create the file");
  out->stream().write(bytes.data(), bytes.size());
  if (!files.replace(*out, FolderSync::Now)) throw PictureError(path + ": cannot write the file");
}

}  // namespace vh
