#include "app/gui/built_in_pictures.h"

#include <string_view>

#include "app/embedded_files.h"
#include "app/gui/incbin.h"

// The pictures come straight from assets/; VH_ASSET_DIR comes from the
// build.
VH_INCBIN(vh_map_jpg, VH_ASSET_DIR "/map.jpg")
VH_INCBIN(vh_title_bmp, VH_ASSET_DIR "/title.bmp")

namespace vh {

void registerBuiltInPictures() {
  registerEmbeddedFile("map.jpg", std::string_view(vh_map_jpg_begin, static_cast<size_t>(vh_map_jpg_end - vh_map_jpg_begin)));
  registerEmbeddedFile("title.bmp",
                       std::string_view(vh_title_bmp_begin, static_cast<size_t>(vh_title_bmp_end - vh_title_bmp_begin)));
}

}  // namespace vh
