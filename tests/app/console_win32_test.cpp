#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "app/console.h"

namespace vh {

namespace {

// A screen buffer of the test's own, in the console the tests run in, or in
// one made for them when they run in none. Wine has a console with screen
// buffers only when it has a display (xvfb-run).
class ConsoleBuffer {
 public:
  ConsoleBuffer() {
    handle_ = newBuffer();
    if (!handle_) {
      FreeConsole();
      if (AllocConsole()) {
        madeConsole_ = true;
        handle_ = newBuffer();
      }
    }
    if (!handle_) return;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle_), _O_WRONLY);
    stream_ = fd < 0 ? nullptr : _fdopen(fd, "w");
  }
  ~ConsoleBuffer() {
    if (stream_) {
      std::fclose(stream_);  // and the handle with it
    } else if (handle_) {
      CloseHandle(handle_);
    }
    if (madeConsole_) FreeConsole();
  }
  ConsoleBuffer(const ConsoleBuffer&) = delete;
  ConsoleBuffer& operator=(const ConsoleBuffer&) = delete;

  HANDLE handle() const { return handle_; }
  std::FILE* stream() const { return stream_; }

 private:
  static HANDLE newBuffer() {
    const HANDLE buffer = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                    nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (buffer == INVALID_HANDLE_VALUE) return nullptr;
    if (!GetConsoleScreenBufferInfo(buffer, &info)) {
      CloseHandle(buffer);
      return nullptr;
    }
    return buffer;
  }

  HANDLE handle_ = nullptr;
  std::FILE* stream_ = nullptr;
  bool madeConsole_ = false;
};

// The width is the visible window's, not the buffer's, which scrolls
// sideways beyond it.
TEST(Console, AConsoleSaysTheWidthOfItsWindow) {
  const ConsoleBuffer console;
  if (!console.stream()) GTEST_SKIP() << "no console screen buffer here (Wine without a display)";
  ASSERT_TRUE(SetConsoleScreenBufferSize(console.handle(), COORD{200, 300}));
  for (const SHORT columns : {72, 40, 1}) {
    const SMALL_RECT window{0, 0, static_cast<SHORT>(columns - 1), 19};
    ASSERT_TRUE(SetConsoleWindowInfo(console.handle(), TRUE, &window)) << columns;
    EXPECT_EQ(terminalColumns(console.stream()), static_cast<size_t>(columns));
  }
}

// The bars move the cursor up: a console draws them only while it follows
// such movements.
TEST(Console, AConsoleDrawsTheBarsOnlyWhileItFollowsTheCursor) {
  const ConsoleBuffer console;
  if (!console.stream()) GTEST_SKIP() << "no console screen buffer here (Wine without a display)";
  const DWORD plain = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
  ASSERT_TRUE(SetConsoleMode(console.handle(), plain));
  EXPECT_FALSE(drawsProgress(console.stream()));
  // A Windows before 10 refuses the mode, and then draws no bars.
  const bool follows = SetConsoleMode(console.handle(), plain | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  EXPECT_EQ(drawsProgress(console.stream()), follows);
}

}  // namespace
}  // namespace vh
