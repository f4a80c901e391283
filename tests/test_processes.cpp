// The parts of the tests' helpers that start programs and change the
// environment they start in.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/test_support.h"

namespace vh::test {

TempDirsInMemory::TempDirsInMemory() {
  const char* old = std::getenv("TMPDIR");
  had_ = old != nullptr;
  previous_ = old ? old : "";
  constexpr const char* kShared = "/dev/shm";
  if (access(kShared, W_OK | X_OK) == 0) setenv("TMPDIR", kShared, 1);
}

TempDirsInMemory::~TempDirsInMemory() {
  if (had_) {
    setenv("TMPDIR", previous_.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

CommandResult runCommand(const std::string& command, const std::string& input) {
  TempDir scratch;
  const std::string in = scratch / "in", out = scratch / "out", err = scratch / "err";
  writeFile(in, input);
  const std::string full = "(" + command + ") <'" + in + "' >'" + out + "' 2>'" + err + "'";
  const int raw = std::system(full.c_str());
  CommandResult result;
  if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  result.out = readFile(out);
  result.err = readFile(err);
  return result;
}

}  // namespace vh::test
