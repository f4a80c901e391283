#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "app/console.h"

namespace vh {
namespace {

// A pseudo-terminal whose width the test sets, as a terminal window does.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    controller_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (controller_ < 0 || grantpt(controller_) != 0 || unlockpt(controller_) != 0) return;
    const int side = open(ptsname(controller_), O_RDWR | O_NOCTTY);
    if (side >= 0) stream_ = fdopen(side, "w");
  }
  ~PseudoTerminal() {
    if (stream_) std::fclose(stream_);
    if (controller_ >= 0) close(controller_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  std::FILE* stream() const { return stream_; }
  bool setColumns(unsigned short columns) const {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    return ioctl(fileno(stream_), TIOCSWINSZ, &size) == 0;
  }

 private:
  int controller_ = -1;
  std::FILE* stream_ = nullptr;
};

TEST(Console, ATerminalSaysItsWidthAndDrawsTheBars) {
  const PseudoTerminal terminal;
  ASSERT_NE(terminal.stream(), nullptr);
  EXPECT_TRUE(drawsProgress(terminal.stream()));
  const struct {
    unsigned short set;
    std::optional<size_t> columns;
  } kCases[] = {{123, 123}, {1, 1}, {0, std::nullopt}};  // 0: the terminal does not say
  for (const auto& c : kCases) {
    ASSERT_TRUE(terminal.setColumns(c.set));
    EXPECT_EQ(terminalColumns(terminal.stream()), c.columns) << c.set;
  }
}

TEST(Console, APipeIsNoTerminal) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::FILE* writer = fdopen(ends[1], "w");
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(terminalColumns(writer), std::nullopt);
  EXPECT_FALSE(drawsProgress(writer));
  std::fclose(writer);
  close(ends[0]);
}

}  // namespace
}  // namespace vh
