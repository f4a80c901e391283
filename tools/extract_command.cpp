// vhtool extract: one member of an archive as a file of its own, so that a
// picture can go on to xmg2png or a record file to a hex viewer.
#include <cstdio>
#include <optional>
#include <string>

#include "formats/xarc.h"
#include "tools/commands.h"
#include "tools/member_files.h"
#include "tools/tool_services.h"

namespace vh::tool {

int extract(const Args& args) {
  if (args.size() < 2 || args.size() > 3) {
    std::fputs("usage: vhtool extract ARCHIVE.xarc MEMBER [OUT]\n", stderr);
    return 2;
  }
  const std::string& path = args[0];
  const std::string& member = args[1];
  // Without OUT the name is the archive's, and an archive's names are no
  // paths to trust: only the last part of one is used.
  const std::string out = args.size() == 3 ? args[2] : memberFileName(member);
  if (out.empty()) {
    std::fprintf(stderr, "vhtool extract: %s is no file name; give OUT\n", member.c_str());
    return 1;
  }

  tXARC archive;
  try {
    if (const std::optional<Fault> fault = archive.read(path)) {
      std::fprintf(stderr, "vhtool extract: %s (%s)\n", tXARC::openFailureText(*fault, path).c_str(),
                   fault->detail.c_str());
      return 1;
    }
    const tXFilePtr file = findMember(archive, member);
    if (!file) {
      std::fprintf(stderr, "vhtool extract: %s has no member %s\n", path.c_str(), member.c_str());
      return 1;
    }
    ToolServices tool;
    auto written = tool.files.create(out);
    if (!written) {
      std::fprintf(stderr, "vhtool extract: cannot write %s\n", out.c_str());
      return 1;
    }
    file->save(written->stream());
    if (!tool.files.replace(*written, FolderSync::Now)) {
      std::fprintf(stderr, "vhtool extract: cannot write %s\n", out.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vhtool extract: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace vh::tool
