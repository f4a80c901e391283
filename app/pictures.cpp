#include "app/pictures.h"

#include <string>

#include "app/embedded_files.h"
#include "common/bytes.h"
#include "pictures/bmp.h"
#include "pictures/jpeg.h"

namespace vh {

namespace {

// The windows show a picture or say why there is none.
PixelMap shown(Result<PixelMap> decoded) {
  if (!decoded) throw PictureError(decoded.fault().detail);
  return std::move(decoded.value());
}

}  // namespace

PixelMap loadPicture(std::string_view locator) {
  const std::string name = lowerCase(std::string(locator));
  const auto bytes = readLocator(locator);
  if (!bytes) throw PictureError("picture not found: " + std::string(locator));
  if (name.ends_with(".jpg") || name.ends_with(".jpeg")) return shown(decodeJpeg(*bytes));
  if (name.ends_with(".bmp")) return shown(decodeBmp(*bytes));
  throw PictureError("unknown picture type: " + std::string(locator));
}

Rect fitCentred(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return {};
  // Compare areaW / pictureW with areaH / pictureH without rounding.
  const int64_t byWidth = static_cast<int64_t>(areaWidth) * pictureHeight;
  const int64_t byHeight = static_cast<int64_t>(areaHeight) * pictureWidth;
  Rect fitted;
  if (byWidth <= byHeight) {
    fitted.width = areaWidth;
    fitted.height = static_cast<int>(byWidth / pictureWidth);
  } else {
    fitted.height = areaHeight;
    fitted.width = static_cast<int>(byHeight / pictureHeight);
  }
  if (fitted.width < 1) fitted.width = 1;
  if (fitted.height < 1) fitted.height = 1;
  fitted.x = (areaWidth - fitted.width) / 2;
  fitted.y = (areaHeight - fitted.height) / 2;
  return fitted;
}

}  // namespace vh
