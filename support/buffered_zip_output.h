// minizip writes a package through its file functions a little at a time,
// and at the end of every member seeks back to put the member's CRC-32 and
// sizes into its local header. Through the C library's file stream each
// member then cost a flush, several seeks and a few small writes, which on
// a package of a thousand members was more time than copying its bytes.
// These file functions hold the last bytes written (up to kHeld) in
// memory: a small write and the patch of a recent header cost no system
// call, and a write elsewhere goes straight through.
#pragma once

#include <minizip/ioapi.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vh {

class BufferedZipOutput {
 public:
  static constexpr size_t kHeld = 1u << 20;

  BufferedZipOutput() = default;
  BufferedZipOutput(const BufferedZipOutput&) = delete;
  BufferedZipOutput& operator=(const BufferedZipOutput&) = delete;

  // Functions for one file, written through `under`; this object must
  // outlive the minizip handle they are given to. A failure of `under` is
  // reported by the write that meets it, or by the close when it meets the
  // held bytes, which the close gives to `under` first.
  zlib_filefunc64_def over(const zlib_filefunc64_def& under);

 private:
  static voidpf open(voidpf opaque, const void* name, int mode);
  static uLong read(voidpf opaque, voidpf stream, void* into, uLong size);
  static uLong write(voidpf opaque, voidpf stream, const void* bytes, uLong size);
  static ZPOS64_T tell(voidpf opaque, voidpf stream);
  static long seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin);
  static int close(voidpf opaque, voidpf stream);
  static int error(voidpf opaque, voidpf stream);

  bool put(const uint8_t* bytes, size_t count);
  // Gives the held bytes to `under`; they are no longer held after it.
  bool flush();
  // Writes through `under` at `at`, seeking it there only when it stands
  // elsewhere.
  bool putAt(uint64_t at, const void* bytes, size_t count);

  zlib_filefunc64_def under_{};
  voidpf stream_ = nullptr;
  std::vector<uint8_t> held_;  // the bytes from heldAt_ on
  uint64_t heldAt_ = 0;
  uint64_t position_ = 0;  // where minizip stands
  uint64_t underAt_ = 0;   // where `under` stands
  bool failed_ = false;
};

// minizip reads a package's directory an entry at a time, seeking to each
// and reading its few dozen bytes; through the C library's file stream
// that was a seek and a read of the system per member. These file
// functions read the file in windows of kWindow bytes and serve reads
// inside the last window from memory; a read of kDirect bytes or more
// that the window does not hold goes straight through.
class BufferedZipInput {
 public:
  static constexpr size_t kWindow = 64u << 10;
  static constexpr size_t kDirect = 8u << 10;

  BufferedZipInput() = default;
  BufferedZipInput(const BufferedZipInput&) = delete;
  BufferedZipInput& operator=(const BufferedZipInput&) = delete;

  // Functions for one file, read through `under`; this object must outlive
  // the minizip handle they are given to. They never write.
  zlib_filefunc64_def over(const zlib_filefunc64_def& under);

 private:
  static voidpf open(voidpf opaque, const void* name, int mode);
  static uLong read(voidpf opaque, voidpf stream, void* into, uLong size);
  static uLong write(voidpf opaque, voidpf stream, const void* bytes, uLong size);
  static ZPOS64_T tell(voidpf opaque, voidpf stream);
  static long seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin);
  static int close(voidpf opaque, voidpf stream);
  static int error(voidpf opaque, voidpf stream);

  // Reads through `under` at `at`, seeking it there only when it stands
  // elsewhere; the bytes read.
  size_t readAt(uint64_t at, void* into, size_t count);

  zlib_filefunc64_def under_{};
  voidpf stream_ = nullptr;
  std::vector<uint8_t> window_;  // filled_ bytes from windowAt_ on
  uint64_t windowAt_ = 0;
  size_t filled_ = 0;
  uint64_t position_ = 0;  // where minizip stands
  uint64_t underAt_ = 0;   // where `under` stands
};

}  // namespace vh
