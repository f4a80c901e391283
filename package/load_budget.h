// What loading a package may cost in memory: a fixed share plus eight times
// the package's size on disk, whatever its members inflate to. Members that
// may be long (translation files, add-ons) are read as they inflate and
// never held whole, so what counts is what stays: the zip reader's index,
// the tables, the lists and pictures held while they are read or kept. A
// package whose tables would pass the allowance is refused while it loads.
#pragma once

#include <cstdint>

namespace vh {

class LoadBudget {
 public:
  // Of the 64 MiB that loading may take beyond eight times the package,
  // 16 MiB are left to the program itself (code, libraries, the allocator's
  // own slack, the blocks that members inflate through).
  static constexpr uint64_t kFixedShare = 48ull << 20;
  static constexpr uint64_t kPerPackageByte = 8;

  // A package whose size is not known (-1) earns only the fixed share.
  explicit LoadBudget(int64_t packageSize)
      : allowance_(kFixedShare + (packageSize > 0 ? kPerPackageByte * static_cast<uint64_t>(packageSize) : 0)) {}

  uint64_t allowance() const { return allowance_; }
  // What may still be held.
  uint64_t room() const { return held_ < allowance_ ? allowance_ - held_ : 0; }

  // Bytes about to be held; false, with nothing counted, when they do not
  // fit.
  [[nodiscard]] bool hold(uint64_t bytes) {
    if (bytes > room()) return false;
    held_ += bytes;
    return true;
  }
  void release(uint64_t bytes) { held_ -= bytes < held_ ? bytes : held_; }

 private:
  uint64_t allowance_;
  uint64_t held_ = 0;
};

}  // namespace vh
