// minizip's iowin32 opens with CreateFileW when its name is a wide string.
#include <windows.h>

#include <minizip/unzip.h>
#include <minizip/zip.h>
// After the two above: it needs the OF macro of their ioapi.h.
#include <minizip/iowin32.h>

#include "common/wide_text_win32.h"
#include "support/buffered_zip_file.h"
#include "support/zip_files.h"

namespace vh {

namespace {

zlib_filefunc64_def wideFileFunctions() {
  zlib_filefunc64_def functions{};
  fill_win32_filefunc64W(&functions);
  return functions;
}

}  // namespace

void* openZipForReading(const std::string& path, BufferedZipInput* held) {
  const auto wide = wideText(path);
  if (!wide || wide->empty()) return nullptr;
  zlib_filefunc64_def functions = wideFileFunctions();
  zlib_filefunc64_def through = held ? held->over(functions) : functions;
  return unzOpen2_64(wide->c_str(), &through);
}

void* openZipForWriting(const std::string& path, int appendStatus, zlib_filefunc64_def_s* functions,
                        BufferedZipOutput* held, bool) {
  if (functions) {
    if (!held) return zipOpen2_64(path.c_str(), appendStatus, nullptr, functions);
    zlib_filefunc64_def through = held->over(*functions);
    return zipOpen2_64(path.c_str(), appendStatus, nullptr, &through);
  }
  const auto wide = wideText(path);
  if (!wide || wide->empty()) return nullptr;
  zlib_filefunc64_def wideFunctions = wideFileFunctions();
  zlib_filefunc64_def through = held ? held->over(wideFunctions) : wideFunctions;
  return zipOpen2_64(wide->c_str(), appendStatus, nullptr, &through);
}

bool openWhileWriting() { return false; }

}  // namespace vh
