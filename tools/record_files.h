// An archive's record file without the rest of the archive: the member
// table read as the installer reads it, then only the record file parsed.
// The game's pictures and sounds are most of its bytes, and a tool that
// looks at text across the whole game has no use for them.
#pragma once

#include <memory>
#include <string>

namespace vh {
class tXRC;
}  // namespace vh

namespace vh::tool {

// The archive's record file (the last member whose extension is "xrc", as
// the installer takes it), numbered as sub-scene `subId`. Null with an empty
// `error` when the archive has none; null with the reason in `error` when
// the installer could not open the archive either.
std::shared_ptr<tXRC> readRecordFile(const std::string& path, int subId, std::string& error);

}  // namespace vh::tool
