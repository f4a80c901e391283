// Buffers of many megabytes (a build's source read whole to be deflated,
// a member's stream) are written page by page the first time, and on a
// system that hands out 4 KiB pages each page is a fault: a 32 MB font read
// for a build was 8,000 faults, about a sixth of the build's processor time.
// Such a buffer is placed on a large-page boundary and the system asked to
// back it with large pages where it offers them (Linux's transparent huge
// pages). Only a hint: the bytes and their lifetime are those of any buffer.
#pragma once

#include <cstddef>

namespace vh {

// From this size on a buffer is allocated here; smaller ones would gain
// nothing from a large page.
inline constexpr size_t kLargeBlock = size_t{4} << 20;

// `bytes` of storage, uninitialised; throws std::bad_alloc.
[[nodiscard]] void* allocateLarge(size_t bytes);
// Frees what allocateLarge(bytes) returned.
void freeLarge(void* block, size_t bytes) noexcept;

// Asks for large pages under the next `bytes` of the heap, for a process
// whose heap keeps what it frees (the programs' own setting): the many
// small buffers a run allocates then fault in a large page at a time.
// Nothing where the heap or the system gives no such hint.
void heapInLargePages(size_t bytes);

}  // namespace vh
