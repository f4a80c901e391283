#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
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

void heapInLargePages(size_t bytes) {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE)
  // Taken from the top of the heap and given back at once: the range stays
  // mapped, marked, and serves the allocations that follow.
  void* block = std::malloc(bytes);
  if (!block) return;
  const auto start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t begin = (start + kLargePage - 1) / kLargePage * kLargePage;
  const uintptr_t end = (start + bytes) / kLargePage * kLargePage;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  std::free(block);
#else
  (void)bytes;
#endif
}

}  // namespace vh
