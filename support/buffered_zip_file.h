// minizip reads and writes a package through file functions, a little at a
// time: it reads the directory an entry at a time, seeking to each, and at
// the end of every member it writes seeks back to put the member's CRC-32
// and sizes into its local header. Through the C library's file stream,
// each member then cost a few seeks, reads or writes of the system, which
// on a package of a thousand members was more time than copying its bytes.
// The file functions here stand between minizip and the platform's own
// (`under`) and keep those small reads and writes in memory.
#pragma once

#include <minizip/ioapi.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/read_windows.h"

namespace vh {

// File functions for one file over `under`, which answer minizip's tell
// and seeks themselves and leave reads and writes to the layer.
class LayeredZipFile {
 public:
  LayeredZipFile() = default;
  LayeredZipFile(const LayeredZipFile&) = delete;
  LayeredZipFile& operator=(const LayeredZipFile&) = delete;

  // The functions to hand minizip; this object must outlive the handle
  // they are given to.
  zlib_filefunc64_def over(const zlib_filefunc64_def& under);
  // How far into the file `under` has been given bytes.
  uint64_t handedOver() const { return handedOver_; }

 protected:
  virtual ~LayeredZipFile() = default;
  // The bytes read or written at position_, which they move on.
  virtual size_t readHere(void* into, size_t count) = 0;
  virtual size_t writeHere(const void* bytes, size_t count) = 0;
  // Gives `under` whatever it does not have yet, before it is asked where
  // the file ends and before it is closed; false when it failed.
  virtual bool settle() { return true; }
  virtual bool failed() const { return false; }

  // Reads or writes through `under` at `at`, seeking it there only when it
  // stands elsewhere; the bytes done.
  size_t readAt(uint64_t at, void* into, size_t count);
  size_t writeAt(uint64_t at, const void* bytes, size_t count);

  uint64_t position_ = 0;  // where minizip stands

 private:
  static voidpf open(voidpf opaque, const void* name, int mode);
  static uLong read(voidpf opaque, voidpf stream, void* into, uLong size);
  static uLong write(voidpf opaque, voidpf stream, const void* bytes, uLong size);
  static ZPOS64_T tell(voidpf opaque, voidpf stream);
  static long seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin);
  static int close(voidpf opaque, voidpf stream);
  static int error(voidpf opaque, voidpf stream);
  bool moveUnder(uint64_t at);

  zlib_filefunc64_def under_{};
  voidpf stream_ = nullptr;
  uint64_t underAt_ = 0;  // where `under` stands
  uint64_t handedOver_ = 0;
  bool underLost_ = false;  // a seek of `under` failed: where it stands is not known
};

// Writing: the last bytes written (up to kHeld) are held in memory, so that
// a small write and the patch of a recent header cost no system call; a
// write elsewhere goes to `under` after the held bytes. A failure of
// `under` is reported by the write that meets it, or by the close, which
// gives the held bytes to `under` first. A quarter of a megabyte holds the
// header of nearly every member until its patch; each page of it costs a
// fault the first time it is written, which on some virtual machines takes
// as long as copying the page some hundred times.
class BufferedZipOutput final : public LayeredZipFile {
 public:
  static constexpr size_t kHeld = 256u << 10;

 private:
  size_t readHere(void* into, size_t count) override;
  size_t writeHere(const void* bytes, size_t count) override;
  bool settle() override;
  bool failed() const override { return failed_; }

  std::vector<uint8_t> held_;  // the bytes from heldAt_ on
  uint64_t heldAt_ = 0;
  bool failed_ = false;
};

// Reading: small reads are served from two windows of the file (see
// ReadWindows); a member's stream, read in blocks, goes straight through.
class BufferedZipInput final : public LayeredZipFile {
 private:
  size_t readHere(void* into, size_t count) override;
  size_t writeHere(const void*, size_t) override { return 0; }

  ReadWindows windows_;
};

}  // namespace vh
