#pragma once

namespace vh {

// Registers the map and the title picture built into the program as
// "map.jpg" and "title.bmp".
void registerBuiltInPictures();

}  // namespace vh
