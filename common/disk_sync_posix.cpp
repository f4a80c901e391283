#include <fcntl.h>
#include <unistd.h>

#include "common/disk_sync.h"

namespace vh {

bool syncDescriptor(int fd) { return fsync(fd) == 0; }

bool syncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

}  // namespace vh
