#include <minizip/unzip.h>
#include <minizip/zip.h>

#include "support/buffered_zip_file.h"
#include "support/zip_files.h"

namespace vh {

void* openZipForReading(const std::string& path, BufferedZipInput* held) {
  if (!held) return unzOpen(path.c_str());
  zlib_filefunc64_def plain{};
  fill_fopen64_filefunc(&plain);
  zlib_filefunc64_def through = held->over(plain);
  return unzOpen2_64(path.c_str(), &through);
}

void* openZipForWriting(const std::string& path, int appendStatus, zlib_filefunc64_def_s* functions,
                        BufferedZipOutput* held) {
  if (!held) return zipOpen2_64(path.c_str(), appendStatus, nullptr, functions);
  zlib_filefunc64_def plain{};
  if (!functions) fill_fopen64_filefunc(&plain);
  zlib_filefunc64_def through = held->over(functions ? *functions : plain);
  return zipOpen2_64(path.c_str(), appendStatus, nullptr, &through);
}

bool openWhileWriting() { return true; }

}  // namespace vh
