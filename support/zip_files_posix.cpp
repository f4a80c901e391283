#include <fcntl.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "support/buffered_zip_file.h"
#include "support/zip_files.h"

namespace vh {

namespace {

// A new package written over the file already at its path: the blocks the
// file system gave that file are written again rather than freed and
// allocated anew, and the file is cut to the package's length when it is
// closed. Whatever it held before counts for nothing, its end included.
struct OverwrittenFile {
  int fd = -1;
  uint64_t at = 0;   // where the next read or write goes
  uint64_t end = 0;  // how far the package's bytes reach
  bool failed = false;
};

voidpf openOver(voidpf, const void* name, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_CREATE) == 0) return nullptr;
  // A link at the name is not followed: what the package is written over
  // must be a file of the folder's own.
  const int fd = ::open(static_cast<const char*>(name), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  return new OverwrittenFile{fd};
}

uLong readOver(voidpf, voidpf stream, void* into, uLong size) {
  auto& file = *static_cast<OverwrittenFile*>(stream);
  // Nothing past the package's own bytes is its.
  const uint64_t count = std::min<uint64_t>(size, file.end > file.at ? file.end - file.at : 0);
  uint64_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(file.fd, static_cast<uint8_t*>(into) + done, count - done,
                                static_cast<off_t>(file.at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<uint64_t>(got);
  }
  file.at += done;
  return static_cast<uLong>(done);
}

uLong writeOver(voidpf, voidpf stream, const void* bytes, uLong size) {
  auto& file = *static_cast<OverwrittenFile*>(stream);
  uint64_t done = 0;
  while (done < size) {
    const ssize_t put = ::pwrite(file.fd, static_cast<const uint8_t*>(bytes) + done, size - done,
                                 static_cast<off_t>(file.at + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      file.failed = true;
      break;
    }
    done += static_cast<uint64_t>(put);
  }
  file.at += done;
  file.end = std::max(file.end, file.at);
  return static_cast<uLong>(done);
}

ZPOS64_T tellOver(voidpf, voidpf stream) { return static_cast<OverwrittenFile*>(stream)->at; }

long seekOver(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto& file = *static_cast<OverwrittenFile*>(stream);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      file.at = offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      file.at += offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_END:
      file.at = file.end + offset;
      return 0;
    default:
      return -1;
  }
}

int closeOver(voidpf, voidpf stream) {
  auto* file = static_cast<OverwrittenFile*>(stream);
  const bool cut = ::ftruncate(file->fd, static_cast<off_t>(file->end)) == 0;
  const bool closed = ::close(file->fd) == 0;
  const bool failed = file->failed;
  delete file;
  return cut && closed && !failed ? 0 : -1;
}

int errorOver(voidpf, voidpf stream) { return static_cast<OverwrittenFile*>(stream)->failed ? 1 : 0; }

zlib_filefunc64_def overwritingFunctions() {
  zlib_filefunc64_def functions{};
  functions.zopen64_file = &openOver;
  functions.zread_file = &readOver;
  functions.zwrite_file = &writeOver;
  functions.ztell64_file = &tellOver;
  functions.zseek64_file = &seekOver;
  functions.zclose_file = &closeOver;
  functions.zerror_file = &errorOver;
  return functions;
}

}  // namespace

void* openZipForReading(const std::string& path, BufferedZipInput* held) {
  if (!held) return unzOpen(path.c_str());
  zlib_filefunc64_def plain{};
  fill_fopen64_filefunc(&plain);
  zlib_filefunc64_def through = held->over(plain);
  return unzOpen2_64(path.c_str(), &through);
}

void* openZipForWriting(const std::string& path, int appendStatus, zlib_filefunc64_def_s* functions,
                        BufferedZipOutput* held, bool writeOver) {
  if (!held) return zipOpen2_64(path.c_str(), appendStatus, nullptr, functions);
  zlib_filefunc64_def plain{};
  if (!functions && writeOver && appendStatus == APPEND_STATUS_CREATE) {
    plain = overwritingFunctions();
  } else if (!functions) {
    fill_fopen64_filefunc(&plain);
  }
  zlib_filefunc64_def through = held->over(functions ? *functions : plain);
  return zipOpen2_64(path.c_str(), appendStatus, nullptr, &through);
}

bool openWhileWriting() { return true; }

}  // namespace vh
