#include "app/gui/built_in_pictures.h"

#include <string_view>

#include "app/embedded_files.h"

// The pictures are assembled into the program's read-only data straight from
// assets/, so the program needs no file beside it to show them. VH_ASSET_DIR
// comes from the build.
#define VH_EMBED(symbol, file)                                        \
  __asm__(".section .rodata\n"                                        \
          ".balign 16\n"                                              \
          ".globl " #symbol "_begin\n" #symbol "_begin:\n"            \
          ".incbin \"" VH_ASSET_DIR "/" file "\"\n"                   \
          ".globl " #symbol "_end\n" #symbol "_end:\n"                \
          ".byte 0\n"                                                 \
          ".previous\n");                                             \
  extern "C" const char symbol##_begin[];                             \
  extern "C" const char symbol##_end[];

VH_EMBED(vh_map_jpg, "map.jpg")
VH_EMBED(vh_title_bmp, "title.bmp")

namespace vh {

void registerBuiltInPictures() {
  registerEmbeddedFile("map.jpg", std::string_view(vh_map_jpg_begin, static_cast<size_t>(vh_map_jpg_end - vh_map_jpg_begin)));
  registerEmbeddedFile("title.bmp",
                       std::string_view(vh_title_bmp_begin, static_cast<size_t>(vh_title_bmp_end - vh_title_bmp_begin)));
}

}  // namespace vh
