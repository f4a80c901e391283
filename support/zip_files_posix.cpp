#include <minizip/unzip.h>
#include <minizip/zip.h>

#include "support/zip_files.h"

namespace vh {

void* openZipForReading(const std::string& path) { return unzOpen(path.c_str()); }

void* openZipForWriting(const std::string& path, int appendStatus, zlib_filefunc64_def_s* functions) {
  return zipOpen2_64(path.c_str(), appendStatus, nullptr, functions);
}

}  // namespace vh
