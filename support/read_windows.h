// Small reads of a file served from the last two windows read of it. Reading
// a zip's headers alternates between two places: an entry in the directory
// at the end of the file, then the local header it names at the start of
// the member's data. Each on its own is a read of some tens of bytes, a
// system call apiece; through two windows, one holds the directory while the
// other moves along the members, and a window read serves hundreds of them.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/files.h"

namespace vh {

class ReadWindows {
 public:
  static constexpr size_t kWindow = 64u << 10;
  // A read this large that no window holds (a member's stream, read in
  // blocks) goes straight to the file.
  static constexpr size_t kDirect = 8u << 10;

  // Up to `count` bytes at `at`, fewer only at the end of the file. `fill(at,
  // into, count)` reads the file itself and returns how many bytes it got.
  template <class Fill>
  size_t read(uint64_t at, void* into, size_t count, Fill&& fill) {
    auto* out = static_cast<uint8_t*>(into);
    size_t use = windows_[lastUsed_].holds(at, count) ? lastUsed_ : 1 - lastUsed_;
    if (!windows_[use].holds(at, count)) {
      if (count >= kDirect) return fill(at, out, count);
      use = 1 - lastUsed_;
      Window& refilled = windows_[use];
      if (refilled.bytes.empty()) refilled.bytes.resize(kWindow);
      refilled.at = at;
      refilled.filled = fill(at, refilled.bytes.data(), kWindow);
    }
    lastUsed_ = use;
    const Window& window = windows_[use];
    // The window starts at or before the read: what it holds of it is all
    // of it, or what there is before the end of the file.
    const size_t available = at < window.at + window.filled ? static_cast<size_t>(window.at + window.filled - at) : 0;
    const size_t done = count < available ? count : available;
    if (done > 0) std::memcpy(out, window.bytes.data() + (at - window.at), done);
    return done;
  }

 private:
  struct Window {
    std::vector<uint8_t> bytes;  // filled bytes from `at` on
    uint64_t at = 0;
    size_t filled = 0;
    bool holds(uint64_t from, size_t count) const { return from >= at && from + count <= at + filled; }
  };
  Window windows_[2];
  size_t lastUsed_ = 0;  // the window read last; a miss refills the other
};

// A regular file whose small reads go through windows.
class WindowedFile {
 public:
  explicit WindowedFile(const RegularFile& file) : file_(file) {}
  uint64_t size() const { return file_.size(); }
  // False when the file ends before `count` bytes.
  [[nodiscard]] bool readAt(uint64_t at, void* into, size_t count) {
    const uint64_t size = file_.size();
    const auto fill = [this, size](uint64_t from, uint8_t* to, size_t most) -> size_t {
      if (from >= size) return 0;
      const size_t got = static_cast<size_t>(most < size - from ? most : size - from);
      return file_.readAt(from, to, got) ? got : 0;
    };
    return windows_.read(at, into, count, fill) == count;
  }

 private:
  const RegularFile& file_;
  ReadWindows windows_;
};

}  // namespace vh
