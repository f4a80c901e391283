#include "tools/member_files.h"

#include "common/bytes.h"
#include "translation/gbk.h"

namespace vh::tool {

std::string memberFileName(const std::string& memberName) {
  std::string name = toSlashes(memberName);
  if (const size_t slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  const bool drive = name.size() >= 2 && name[1] == ':' &&
                     ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  if (drive) name.erase(0, 2);
  if (name == "." || name == "..") return "";
  return name;
}

tXFilePtr findMember(const tXARC& archive, const std::string& typed) {
  if (const auto stored = archiveName(typed)) {
    if (tXFilePtr member = archive.findFile(*stored)) return member;
  }
  return archive.findFile(typed);
}

std::string memberDiskName(const std::string& storedName) { return memberFileName(diskName(storedName)); }

}  // namespace vh::tool
