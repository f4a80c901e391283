// Putting a written file's bytes on the disk before the program counts it
// as written: a write the system accepted may still be lost with the power.
// One implementation per platform (fsync; FlushFileBuffers).
#pragma once

#include <string>

namespace vh {

// Whether everything written through the open C runtime descriptor `fd`
// has reached the disk.
[[nodiscard]] bool syncDescriptor(int fd);

// Whether the file at `path` (UTF-8), written and closed by someone else
// (minizip), has reached the disk; false when it cannot be opened.
[[nodiscard]] bool syncFile(const std::string& path);

}  // namespace vh
