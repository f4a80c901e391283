// Archive members written out as files. A member's name comes from the
// archive, and an archive can come from anywhere: it is never used as a
// path as it stands.
#pragma once

#include <string>

namespace vh::tool {

// The file name a member is written under: the last part of its name
// (after any "/" or "\"), without a drive letter. "" when nothing usable is
// left ("", ".", ".."), and the member is refused.
std::string memberFileName(const std::string& memberName);

}  // namespace vh::tool
