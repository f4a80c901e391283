// The walk over a package's local headers, and look-ups in what it found.
#include "common/stream.h"
#include "fuzz/fuzz_targets.h"
#include "support/zip_directory.h"

namespace vh::fuzz {

int zipWalk(const uint8_t* data, size_t size) {
  for (int ignore : {0, 1}) {
    MemoryStream in(static_cast<const void*>(data), size);
    auto list = TZipFileList::create(&in, ignore, ignore);
    if (!list) fail("no directory for a stream");
    for (int i = 0; i < list->getFileCount(); ++i) {
      const SZipFileEntryPtr entry = list->getFileInfo(i);
      if (list->findFile(entry->simpleFileName) == nullptr) fail("a listed member is not found by its name");
    }
  }
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::zipWalk)
