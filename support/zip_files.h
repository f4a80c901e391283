// minizip opens a package by its name. These hand it the name the system
// opens files by: on Linux the UTF-8 path as it is (zip_files_posix.cpp),
// on Windows its wide form through minizip's own Windows file functions
// (zip_files_win32.cpp), so that a program folder or a package with a
// Chinese name opens on a system whose code page has no such characters.
#pragma once

#include <string>

struct zlib_filefunc64_def_s;

namespace vh {

class BufferedZipInput;
class BufferedZipOutput;

// The package at `path` opened for reading (an unzFile); null when minizip
// cannot open it. With `held`, minizip reads through it.
void* openZipForReading(const std::string& path, BufferedZipInput* held = nullptr);

// The package at `path` opened for writing (a zipFile) with minizip's
// `appendStatus`; null when minizip cannot open it. `functions`, when not
// null, are the file functions minizip writes through instead of the
// system's, and are handed `path` as it is. With `held`, the writes go
// through it to those functions. With `writeOver`, a new package is written
// over the file already at `path` (never through a link), which keeps the
// blocks the file system gave that file and is cut to the package's length
// at the close; where the platform has no such writing (Windows), the file
// is made anew as without it.
void* openZipForWriting(const std::string& path, int appendStatus, zlib_filefunc64_def_s* functions,
                        BufferedZipOutput* held, bool writeOver = false);

// Whether a package minizip is writing may be opened again by its name
// meanwhile, to be synced ahead: not on Windows, where minizip creates it
// unshared.
bool openWhileWriting();

}  // namespace vh
