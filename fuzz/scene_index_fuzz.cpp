// A scene index file through the scene-list writer, as the package builder
// reads the working tree's data folder.
#include <sys/stat.h>

#include "common/report.h"
#include "common/files.h"
#include "common/stream.h"
#include "formats/scene_list.h"
#include "fuzz/fuzz_targets.h"

namespace vh::fuzz {

int sceneIndex(const uint8_t* data, size_t size) {
  const std::string folder = scratchFolder() + "/data/";
  mkdir(folder.c_str(), 0700);
  writeScratch("data/Forest.orz", data, size);
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  writeSceneList(out, quietReporter(), folder);
  // Every archive path the list names stays inside the game folder.
  out.seek(0);
  while (!out.atEnd()) {
    const std::string line = out.readLine();
    if (line.rfind("path=", 0) == 0 && escapesFolder(line.substr(5))) fail("a path leaves the game folder");
  }
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::sceneIndex)
