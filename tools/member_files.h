// Archive members written out as files. A member's name comes from the
// archive, and an archive can come from anywhere: it is never used as a
// path as it stands.
#pragma once

#include <string>

#include "formats/xarc.h"

namespace vh::tool {

// The member a name typed on the command line (UTF-8) names: the archives
// store names in GBK, so the name is looked up in GBK first, then as typed.
tXFilePtr findMember(const tXARC& archive, const std::string& typed);

// The file name a member is written under on disk: its name in UTF-8 (see
// diskName), made safe by memberFileName.
std::string memberDiskName(const std::string& storedName);

// The file name a member is written under: the last part of its name
// (after any "/" or "\"), without a drive letter. "" when nothing usable is
// left ("", ".", ".."), and the member is refused.
std::string memberFileName(const std::string& memberName);

}  // namespace vh::tool
