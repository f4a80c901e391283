#include <new>

#include "common/large_blocks.h"

namespace vh {

// Large pages on Windows need a privilege players do not hold: an ordinary
// allocation.
void* allocateLarge(size_t bytes) { return ::operator new(bytes); }

void freeLarge(void* block, size_t) noexcept { ::operator delete(block); }

void heapInLargePages(size_t) {}

}  // namespace vh
