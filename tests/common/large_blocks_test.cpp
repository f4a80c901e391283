#include "common/large_blocks.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#endif

namespace vh {
namespace {

#ifdef __linux__
// Under the heap settings the program starts with, part of the heap is
// marked for large pages afterwards: a setting that sends a 16 MiB buffer
// to a mapping of its own, or a heap that hands it back to the system,
// would leave nothing marked. Tried in a child, whose heap settings die
// with it.
TEST(HeapInLargePages, MarksPartOfTheHeap) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer's allocator stands in for the heap";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the address sanitizer's allocator stands in for the heap";
#endif
#endif
  if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage")) {
    GTEST_SKIP() << "the kernel offers no transparent huge pages";
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_ARENA_MAX, 1);
    heapInLargePages(std::size_t{16} << 20);
    std::ifstream maps("/proc/self/smaps");
    bool inHeap = false, marked = false;
    for (std::string line; std::getline(maps, line);) {
      // A mapping's first line starts with its address range, where every
      // other line starts with a key and a colon; the flags come on a
      // "VmFlags:" line of their own.
      if (line.find(' ') < line.find(':')) inHeap = line.find("[heap]") != std::string::npos;
      if (inHeap && line.rfind("VmFlags:", 0) == 0 && line.find(" hg") != std::string::npos) marked = true;
    }
    _exit(marked ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "no part of the heap is marked for large pages";
}
#endif

}  // namespace
}  // namespace vh
