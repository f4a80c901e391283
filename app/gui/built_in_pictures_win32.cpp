// On Windows the two pictures are resources of the program file (RCDATA,
// app/gui/vhpatch_win32.rc), mapped with the program and registered from
// there without a copy.
#include "app/gui/built_in_pictures.h"

#include <windows.h>

#include <string_view>

#include "app/embedded_files.h"

namespace vh {

void registerBuiltInPictures() {
  struct Resource {
    const char* name;
    const wchar_t* resource;
  };
  for (const Resource& picture : {Resource{"map.jpg", L"MAP_JPG"}, Resource{"title.bmp", L"TITLE_BMP"}}) {
    const HMODULE program = GetModuleHandleW(nullptr);
    // RT_RCDATA, spelt so whether or not the build asks for wide names.
    const HRSRC found = FindResourceW(program, picture.resource, MAKEINTRESOURCEW(10));
    const HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    // A program built without the resource has no such picture: its panel
    // stays plain, as for a picture that cannot be read.
    if (!bytes) continue;
    registerEmbeddedFile(picture.name, std::string_view(static_cast<const char*>(bytes), SizeofResource(program, found)));
  }
}

}  // namespace vh
