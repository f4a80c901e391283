// What loading a package may cost in memory. Every byte held counts against
// an allowance that grows with what is read: twice the uncompressed bytes
// of the members read, plus a fixed share, and for a package under 1 MiB
// never more than a fixed ceiling, however far its members inflate. A small
// file that would unfold into gigabytes is refused instead.
#pragma once

#include <cstdint>

namespace vh {

class LoadBudget {
 public:
  // Twice what is read, plus this share; 16 MiB of the 64 the program may
  // spend on loading are left to the program itself (code, libraries,
  // the allocator's own slack).
  static constexpr uint64_t kFixedShare = 48ull << 20;
  static constexpr uint64_t kSmallPackage = 1ull << 20;
  static constexpr uint64_t kSmallPackageCeiling = 240ull << 20;

  explicit LoadBudget(int64_t packageSize) : small_(packageSize >= 0 && static_cast<uint64_t>(packageSize) < kSmallPackage) {}

  uint64_t allowance() const {
    const uint64_t earned = 2 * read_ + kFixedShare;
    return small_ && earned > kSmallPackageCeiling ? kSmallPackageCeiling : earned;
  }
  // What may still be held.
  uint64_t room() const { return held_ < allowance() ? allowance() - held_ : 0; }

  // A member of `size` bytes is about to be read and held while it is
  // parsed: false, with nothing counted, when it does not fit.
  [[nodiscard]] bool admit(uint64_t size) {
    read_ += size;
    if (size > room()) {
      read_ -= size;
      return false;
    }
    held_ += size;
    return true;
  }
  // Bytes that stay held; false, with nothing counted, when they do not fit.
  [[nodiscard]] bool hold(uint64_t bytes) {
    if (bytes > room()) return false;
    held_ += bytes;
    return true;
  }
  void release(uint64_t bytes) { held_ -= bytes < held_ ? bytes : held_; }

 private:
  bool small_;
  uint64_t read_ = 0;
  uint64_t held_ = 0;
};

}  // namespace vh
