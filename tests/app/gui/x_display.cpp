#include "tests/app/gui/x_display.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "tests/test_support.h"

namespace vh::test {

PrivateDisplay::PrivateDisplay(int width, int height) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    close(fds[0]);
    // The server must not outlive a test process that dies, nor hold the
    // test runner's output pipe open after it: either would leave the runner
    // waiting for the run's time limit.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) {
      dup2(quiet, STDOUT_FILENO);
      dup2(quiet, STDERR_FILENO);
    }
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  pid_ = child;
  // The server writes its display number once it accepts connections.
  std::string number;
  pollfd wait{fds[0], POLLIN, 0};
  while (poll(&wait, 1, 10000) > 0) {
    char c = 0;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) throw std::runtime_error("Xvfb did not start");
  name_ = ":" + number;
  setenv("DISPLAY", name_.c_str(), 1);
}

PrivateDisplay::~PrivateDisplay() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

namespace {

// The windows under test come and go while the driver looks at them: one
// listed by the tree query may be gone by the time its attributes or title
// are read. Such a request fails and the window counts as not shown; Xlib's
// own handler would end the test process instead.
int ignoreVanishedWindow(Display*, XErrorEvent* error) {
  if (error->error_code == BadWindow || error->error_code == BadDrawable || error->error_code == BadMatch) return 0;
  char text[256] = {};
  XGetErrorText(error->display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "X error %d (%s), request %d\n", error->error_code, text, error->request_code);
  return 0;
}

}  // namespace

XDriver::XDriver() : display_(XOpenDisplay(nullptr)) {
  if (!display_) throw std::runtime_error("cannot open the test display");
  XSetErrorHandler(ignoreVanishedWindow);
}

XDriver::~XDriver() { XCloseDisplay(display_); }

namespace {

std::string titleOf(Display* display, Window window) {
  for (const char* property : {"_NET_WM_NAME", "WM_NAME"}) {
    const Atom atom = XInternAtom(display, property, False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, atom, 0, 4096, False, AnyPropertyType, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
      std::string title(reinterpret_cast<char*>(data), count);
      XFree(data);
      if (type != None) return title;
    }
  }
  return "";
}

}  // namespace

std::vector<TopWindow> XDriver::windowsTitled(const std::string& title) {
  std::vector<TopWindow> found;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  XSync(display_, False);
  if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return found;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, children[i], &attributes) || attributes.map_state != IsViewable) continue;
    if (titleOf(display_, children[i]) != title) continue;
    TopWindow w;
    w.id = children[i];
    w.title = title;
    w.x = attributes.x;
    w.y = attributes.y;
    w.width = attributes.width;
    w.height = attributes.height;
    found.push_back(w);
  }
  if (children) XFree(children);
  return found;
}

std::vector<TopWindow> XDriver::waitForWindows(const std::string& title, size_t count, double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::vector<TopWindow> found;
  do {
    found = windowsTitled(title);
    if (found.size() >= count) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < until);
  return found;
}

void XDriver::requestClose(Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XFlush(display_);
}

void XDriver::click(int x, int y) {
  runCommand("xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

unsigned long XDriver::pixel(Window window, int x, int y) {
  XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0;
  const unsigned long value = XGetPixel(image, 0, 0) & 0xFFFFFF;
  XDestroyImage(image);
  return value;
}

std::vector<unsigned long> XDriver::pixels(Window window, int x, int y, int width, int height) {
  std::vector<unsigned long> values;
  XImage* image =
      XGetImage(display_, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return values;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) values.push_back(XGetPixel(image, column, row) & 0xFFFFFF);
  }
  XDestroyImage(image);
  return values;
}

double XDriver::greenShare(Window window, int y, int x0, int x1) {
  XImage* image = XGetImage(display_, window, x0, y, static_cast<unsigned>(x1 - x0), 1, AllPlanes, ZPixmap);
  if (!image) return 0;
  int green = 0;
  for (int x = 0; x < x1 - x0; ++x) {
    const unsigned long p = XGetPixel(image, x, 0);
    const int r = static_cast<int>((p >> 16) & 0xFF), g = static_cast<int>((p >> 8) & 0xFF),
              b = static_cast<int>(p & 0xFF);
    if (g > r + 40 && g > b + 40) ++green;
  }
  XDestroyImage(image);
  return static_cast<double>(green) / (x1 - x0);
}

bool saveScreenshot(const std::string& path) {
  return runCommand("import -window root '" + path + "'").status == 0;
}

}  // namespace vh::test
