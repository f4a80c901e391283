// A whole package file through the reader the installer uses: the package
// opened, its scene list, add-ons, translation tables and extra files loaded
// and checked, then its image list.
#include "common/report.h"
#include "fuzz/fuzz_targets.h"
#include "package/patch.h"

namespace vh::fuzz {

int patchFile(const uint8_t* data, size_t size) {
  const std::string path = writeScratch("patch.dat", data, size);
  tPatch patch(quietReporter());
  if (patch.open(path)) patch.readImages();
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::patchFile)
