// The largest side a picture may have anywhere in the system: what an XMG
// image can hold, and so what the installer's windows and the toolkit accept
// before any pixel memory is allocated.
#pragma once

namespace vh {

inline constexpr int kMaxImageSide = 16384;

}  // namespace vh
