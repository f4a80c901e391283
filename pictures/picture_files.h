// Pictures as translators edit them, on disk: the format follows the file's
// extension (".png" or ".ppm", any letter case).
#pragma once

#include <optional>
#include <string>

#include "common/fault.h"
#include "pictures/picture.h"

namespace vh {

class FileSystem;

enum class PictureKind { Png, Ppm };

// By extension, ignoring letter case; nothing for any other extension.
std::optional<PictureKind> pictureKindOf(const std::string& path);

// A fault whose detail names the file and what is wrong with it.
Result<Picture> readPicture(const std::string& path);
// Throws PictureError with a message naming the file and the fault; the
// picture is written through `files`.
void writePicture(FileSystem& files, const std::string& path, const Picture& picture);

}  // namespace vh
