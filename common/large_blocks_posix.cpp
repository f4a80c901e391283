#include <sys/mman.h>

#include <new>

#include "common/large_blocks.h"

namespace vh {

namespace {

constexpr size_t kLargePage = size_t{2} << 20;

}  // namespace

void* allocateLarge(size_t bytes) {
  void* block = ::operator new(bytes, std::align_val_t{kLargePage});
#ifdef MADV_HUGEPAGE
  // Whole large pages of the block only: the rest of its last one may be
  // another allocation's, or past the end of the mapping.
  if (const size_t whole = bytes / kLargePage * kLargePage; whole > 0) madvise(block, whole, MADV_HUGEPAGE);
#endif
  return block;
}

void freeLarge(void* block, size_t) noexcept { ::operator delete(block, std::align_val_t{kLargePage}); }

}  // namespace vh
