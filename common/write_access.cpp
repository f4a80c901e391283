#include "common/write_access.h"

namespace vh {

namespace {

constexpr const char* kRunAsAdministrator =
    "only an administrator may change this folder: run the installer as administrator "
    "(right-click vhpatch.exe, then Run as administrator)";

}  // namespace

std::string refusedWriteAdvice(const std::string& path) {
  return writeRefusedToUser(path) ? std::string("\n") + kRunAsAdministrator : std::string();
}

}  // namespace vh
