// A player's machine for end-to-end tests of the real programs: vhtool
// writes a made-up game and working tree, vhpatch sits in a folder of its
// own with the working tree, and a Wine prefix's registry names the game.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace vh::test {

// The heroine's Chinese name as the installer writes it (GBK).
extern const std::string kHeroine;

// A user.reg as wineserver writes it, naming `root` as the game folder.
std::string userReg(const std::string& root);

// A player's machine: the program in a folder with the working tree, the
// game elsewhere, a Wine prefix whose registry names the game folder.
class Installation {
 public:
  explicit Installation(const std::string& registryRoot = "", int seed = 3,
                        const std::string& shape = "--scenes 6 --subs 3");

  // The shell command that runs the installed vhpatch from another folder;
  // an empty `ui` leaves the choice of windows or terminal to the program.
  std::string command(const std::string& args, const std::string& ui = "terminal") const {
    return "cd / && WINEPREFIX='" + prefix + "' " + (ui.empty() ? "" : "VHPATCH_UI=" + ui + " ") + "'" + program +
           "/vhpatch' " + args;
  }

  test::CommandResult vhpatch(const std::string& args, const std::string& input = "") const {
    return test::runCommand(command(args), input);
  }

  std::vector<std::string> archives() const;

  TempDir dir;
  std::string program = dir / "program";
  std::string game = dir / "sample/game";
  std::string original = dir / "original";
  std::string prefix = dir / "prefix";
};

// The sample game's shape for tests that hold on any size of game: the
// large sample when VH_SAMPLE_SIZE is "large" (make check-large), else
// `small`.
std::string sampleShape(const std::string& small = "--scenes 6 --subs 3");

// vhpatch started in the background in `mode`, on the terminal desktop
// with its output thrown away, for tests that kill it or wait on a file it
// reaches; the caller reaps it.
pid_t startQuietly(const Installation& setup, const char* mode);

// vhpatch started directly, with no shell between, so that signals reach
// it; standard output and standard error come through one pipe, read as
// they come. It runs on the terminal desktop with debug lines, and is
// killed if the test ends before it.
class Running {
 public:
  Running(const Installation& setup, const std::string& args, const std::string& input = "");
  ~Running();
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

  // Reads until a line holding `part` has come; false at the end of output.
  bool waitFor(const std::string& part);
  // The exit status, after reading the output to its end.
  int finish();
  pid_t pid() const { return pid_; }
  const std::string& text() const { return text_; }

 private:
  bool readMore();
  pid_t pid_ = -1;
  int out_ = -1;
  bool ended_ = false;
  std::string text_;
};

// How far a measured command may go before it is stopped or refused.
struct Limits {
  // Killed, with every process it started, once this has passed.
  std::chrono::seconds time{300};
  // No file may grow past this; the signal that would end the command is
  // ignored, so its writes fail as on a full disk.
  rlim_t fileSize = RLIM_INFINITY;
  // The address space each of its processes may take: a program that would
  // read without end gets its allocations refused instead of the machine's
  // memory. Not under AddressSanitizer, whose shadow memory needs terabytes
  // of address space.
  rlim_t addressSpace = RLIM_INFINITY;
};

struct Measured {
  CommandResult result;
  // The peak resident size of the program itself, read as it exits; -1
  // where it cannot be traced (ptrace refused).
  long peakKiB = -1;
  bool timedOut = false;
};

// vhpatch of `setup` started directly in `mode` ("" for the default mode),
// on the terminal desktop, with `input` on standard input; its own peak
// resident size is read from the kernel at its exit, under ptrace, so that
// nothing of the test process that started it is counted. Its allocations
// are those of many small ones under AddressSanitizer (kManyAllocations).
Measured runMeasured(const Installation& setup, const std::string& mode, const std::string& input,
                     const Limits& limits = {});

// A file whose opening the test holds back: whoever opens it waits in
// open() until the test lets it through, as on a disk that answers slowly.
// It needs the right to watch file accesses (fanotify permission events,
// which root has); available() says whether the hold is in place.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path);
  ~HeldOpen();  // lets everyone through
  HeldOpen(const HeldOpen&) = delete;
  HeldOpen& operator=(const HeldOpen&) = delete;

  bool available() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }
  // Waits until a process opens the file and is held; false when none does
  // within `limit`.
  bool waitForOpen(std::chrono::seconds limit = std::chrono::seconds(60));
  // Lets the held openers through, and every later one without holding it.
  void release();

 private:
  std::string path_;
  int fd_ = -1;
  std::vector<int> held_;  // the events' file descriptors, each to be answered
  std::string error_;
};

#define SKIP_WITHOUT_HELD_OPEN(held)                                                                    \
  if (!(held).available())                                                                              \
  GTEST_SKIP() << "holding a file's opening needs fanotify permission events, which root has: " \
               << (held).error()

// Every file under `root` by relative path, with its bytes; the backup,
// whose manifest holds the date, is looked at on its own.
std::map<std::string, std::string> tree(const std::string& root);

// The new files that writers left unfinished anywhere under `folder`.
std::vector<std::string> leftovers(const std::string& folder);

// Every archive of every scene of the package patched exactly as the library
// computes it, the heroine named, opaque members and extra files in place.
void expectPatched(const Installation& setup);

}  // namespace vh::test
