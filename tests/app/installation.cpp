#include "tests/recording_host.h"
#include "tests/app/installation.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/fanotify.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "common/files.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "install/patcher.h"
#include "package/patch.h"
#include "tests/app/recording_desktop.h"
#include "translation/replace.h"

namespace vh::test {

namespace fs = std::filesystem;

const std::string kHeroine = "\xC3\xD7\xC0\xD9\x20";

std::string userReg(const std::string& root) {
  std::string escaped;
  for (char c : root) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  // Laid out as wineserver writes it, with neighbours that must survive.
  return "WINE REGISTRY Version 2\n"
         ";; All keys relative to \\\\User\\\\S-1-5-21-1-2-3-1000\n"
         "\n"
         "#arch=win64\n"
         "\n"
         "[Software\\\\Lumeric\\\\Tessary] 1733650000\n"
         "#time=1db4a2c3e5f6a70\n"
         "\"root\"=\"" + escaped + "\"\n"
         "\"version\"=dword:00000102\n"
         "\n"
         "[Software\\\\Wine\\\\Fonts] 1733650000\n"
         "#time=1db4a2c3e5f6a70\n"
         "\"LogPixels\"=dword:00000060\n";
}

Installation::Installation(const std::string& registryRoot, int seed, const std::string& shape) {
  const auto made = runCommand("'" + binaryPath("vhtool") + "' sample-game '" + (dir / "sample") + "' " + shape +
                               " --seed " + std::to_string(seed));
  if (made.status != 0) throw std::runtime_error("sample-game failed: " + made.err);
  fs::copy(dir / "sample/worktree", program, fs::copy_options::recursive);
  fs::copy_file(binaryPath("vhpatch"), program + "/vhpatch");
  fs::copy(game, original, fs::copy_options::recursive);
  fs::create_directories(prefix);
  writeFile(prefix + "/user.reg", userReg(registryRoot.empty() ? game : registryRoot));
}

std::string sampleShape(const std::string& small) {
  const char* size = std::getenv("VH_SAMPLE_SIZE");
  return size && std::string(size) == "large" ? "--size large" : small;
}

std::vector<std::string> Installation::archives() const {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(game)) {
    if (entry.path().extension() == ".xarc") found.push_back(fs::relative(entry.path(), game).string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

Running::Running(const Installation& setup, const std::string& args, const std::string& input) {
  writeFile(setup.dir / "input", input);
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  const std::string program = setup.program + "/vhpatch", in = setup.dir / "input";
  pid_ = fork();
  if (pid_ == 0) {
    if (chdir("/") != 0) _exit(126);
    setenv("WINEPREFIX", setup.prefix.c_str(), 1);
    setenv("VHPATCH_UI", "terminal", 1);
    setenv("VHPATCH_DEBUG", "1", 1);
    const int input = ::open(in.c_str(), O_RDONLY);
    if (input < 0 || dup2(input, 0) < 0 || dup2(fds[1], 1) < 0 || dup2(fds[1], 2) < 0) _exit(126);
    close(fds[0]);
    execl(program.c_str(), program.c_str(), args.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  out_ = fds[0];
}

Running::~Running() {
  if (!ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  close(out_);
}

bool Running::waitFor(const std::string& part) {
  size_t lineStart = 0;
  for (;;) {
    for (size_t end; (end = text_.find('\n', lineStart)) != std::string::npos; lineStart = end + 1) {
      if (text_.substr(lineStart, end - lineStart).find(part) != std::string::npos) {
        return true;
      }
    }
    if (!readMore()) return false;
  }
}

int Running::finish() {
  while (readMore()) {
  }
  int status = 0;
  waitpid(pid_, &status, 0);
  ended_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Running::readMore() {
  char buffer[4096];
  const ssize_t n = read(out_, buffer, sizeof buffer);
  if (n <= 0) return false;
  text_.append(buffer, static_cast<size_t>(n));
  return true;
}

std::map<std::string, std::string> tree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string path = fs::relative(entry.path(), root).string();
    if (entry.is_regular_file() && !path.starts_with(".vhpatch-backup/")) files[path] = readFile(entry.path());
  }
  return files;
}

std::vector<std::string> leftovers(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().find(kNewFileMark) != std::string::npos) found.push_back(entry.path().string());
  }
  return found;
}

namespace {

// What the installer should have made of one archive, worked out in this
// process from the same package with the library's own pieces.
std::string expectedArchive(const Installation& setup, tPatch& package, const std::string& sceneName,
                            const tSubScene& sub) {
  tXARC archive;
  archive.subId = std::stoi(sub.name);
  EXPECT_EQ(archive.open(setup.original + "/" + sub.path, test::standardError()), 1);
  const auto& scene = *package.scenes.at(sceneName);
  if (scene.trz && archive.getXRC()) applyTrz(*archive.getXRC(), *scene.trz, test::standardError());
  if (sceneName == "Global") {
    setHeroineName(*archive.getXRC());
  }
  return saved(archive);
}

}  // namespace

void expectPatched(const Installation& setup) {
  tPatch package(test::standardError());
  ASSERT_EQ(package.open(setup.program + "/patch.dat"), 1);
  int archives = 0;
  for (const auto& [name, scene] : package.scenes) {
    for (const auto& [subName, sub] : scene->subs) {
      const std::string patched = readFile(setup.game + "/" + sub->path);
      EXPECT_TRUE(patched == expectedArchive(setup, package, name, *sub)) << sub->path << " differs from what is expected";
      if (scene->trz) {
        EXPECT_TRUE(patched != readFile(setup.original + "/" + sub->path)) << sub->path << " was not changed";
      }
      ++archives;
    }
  }
  EXPECT_EQ(archives + 1, static_cast<int>(setup.archives().size()));  // x.xarc is no scene's

  // The heroine's name, and the opaque members untouched.
  tXARC global;
  ASSERT_EQ(global.open(setup.game + "/Global/Global.xarc", test::standardError()), 1);
  EXPECT_EQ(global.getXRC()->getRecordArray()[4243]->data.title, kHeroine);
  tXARC before;
  ASSERT_EQ(before.open(setup.original + "/Global/Global.xarc", test::standardError()), 1);
  EXPECT_EQ(global.findFile("ambient.wav")->bank->toString(), before.findFile("AMBIENT.WAV")->bank->toString());
  EXPECT_EQ(global.findFile("scene.xmg")->bank->toString(), before.findFile("scene.xmg")->bank->toString());

  // Extra files copied; the subfolder's name leads to nothing.
  EXPECT_EQ(readFile(setup.game + "/readme_cn.txt"), readFile(setup.program + "/extra/readme_cn.txt"));
  EXPECT_EQ(readFile(setup.game + "/font.cfg"), readFile(setup.program + "/extra/font.cfg"));
  EXPECT_FALSE(fileExists(setup.game + "/docs/manual.txt"));
}

namespace {

// VmHWM of a process whose memory is still there, in KiB; -1 without it.
long peakOf(pid_t pid) {
  const std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
  const size_t at = status.find("VmHWM:");
  return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

}  // namespace

Measured runMeasured(const Installation& setup, const std::string& mode, const std::string& input,
                     const Limits& limits) {
  TempDir scratch;
  const std::string in = scratch / "in", out = scratch / "out", err = scratch / "err";
  writeFile(in, input);
  const std::string program = setup.program + "/vhpatch";
  // What kManyAllocations sets for a shell; LeakSanitizer's check at exit
  // would trace the process, which a traced process cannot allow.
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  const std::string asan = (sanitizer && *sanitizer ? std::string(sanitizer) + ":" : "") +
                           "malloc_context_size=0:quarantine_size_mb=0:detect_leaks=0";
  Measured measured;
  const pid_t child = fork();
  if (child < 0) return measured;
  if (child == 0) {
    setenv("WINEPREFIX", setup.prefix.c_str(), 1);
    setenv("VHPATCH_UI", "terminal", 1);
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    const int input = ::open(in.c_str(), O_RDONLY);
    const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errors = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input < 0 || output < 0 || errors < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(errors, 2) < 0 ||
        chdir("/") != 0) {
      _exit(126);
    }
    if (limits.fileSize != RLIM_INFINITY) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{limits.fileSize, limits.fileSize};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (limits.addressSpace != RLIM_INFINITY) {
      const rlimit limit{limits.addressSpace, limits.addressSpace};
      setrlimit(RLIMIT_AS, &limit);
    }
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    if (mode.empty()) {
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    } else {
      execl(program.c_str(), program.c_str(), mode.c_str(), static_cast<char*>(nullptr));
    }
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + limits.time;
  int status = 0;
  bool started = false;  // past its exec
  for (;;) {
    const pid_t ended = waitpid(child, &status, WNOHANG);
    if (ended < 0) return measured;
    if (ended == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        measured.timedOut = true;
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    if (WIFEXITED(status) || WIFSIGNALED(status)) break;
    if (!WIFSTOPPED(status)) continue;
    int pass = 0;
    if (WSTOPSIG(status) == SIGTRAP && (status >> 16) == PTRACE_EVENT_EXIT) {
      // About to exit, its memory still there: the mark of its peak.
      measured.peakKiB = peakOf(child);
    } else if (WSTOPSIG(status) == SIGTRAP && !started) {
      // Stopped by its exec: from here on, the one event wanted is its exit.
      started = true;
      ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
    } else {
      pass = WSTOPSIG(status);  // a signal meant for the program goes on to it
    }
    ptrace(PTRACE_CONT, child, nullptr, pass);
  }
  if (WIFEXITED(status)) measured.result.status = WEXITSTATUS(status);
  measured.result.out = readFile(out);
  measured.result.err = readFile(err);
  return measured;
}

HeldOpen::HeldOpen(const std::string& path) : path_(path) {
  fd_ = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_LARGEFILE);
  if (fd_ >= 0 && fanotify_mark(fd_, FAN_MARK_ADD, FAN_OPEN_PERM, AT_FDCWD, path.c_str()) != 0) {
    close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0) error_ = std::strerror(errno);
}

HeldOpen::~HeldOpen() {
  release();
  if (fd_ >= 0) close(fd_);
}

bool HeldOpen::waitForOpen(std::chrono::seconds limit) {
  if (fd_ < 0) return false;
  pollfd ready{fd_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(std::chrono::milliseconds(limit).count())) <= 0) return false;
  alignas(fanotify_event_metadata) char buffer[4096];
  ssize_t n = read(fd_, buffer, sizeof buffer);
  if (n <= 0) return false;
  for (auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer); FAN_EVENT_OK(event, n);
       event = FAN_EVENT_NEXT(event, n)) {
    if (event->fd >= 0) held_.push_back(event->fd);
  }
  return !held_.empty();
}

void HeldOpen::release() {
  if (fd_ < 0) return;
  // No further opener is held; those held go through.
  fanotify_mark(fd_, FAN_MARK_REMOVE, FAN_OPEN_PERM, AT_FDCWD, path_.c_str());
  for (const int held : held_) {
    const fanotify_response allow{held, FAN_ALLOW};
    (void)!write(fd_, &allow, sizeof allow);
    close(held);
  }
  held_.clear();
}

pid_t startQuietly(const Installation& setup, const char* mode) {
  const pid_t child = fork();
  if (child == 0) {
    setenv("WINEPREFIX", setup.prefix.c_str(), 1);
    setenv("VHPATCH_UI", "terminal", 1);
    const int quiet = ::open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    dup2(quiet, 2);
    if (chdir("/") != 0) _exit(126);
    const std::string program = setup.program + "/vhpatch";
    execl(program.c_str(), program.c_str(), mode, static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

}  // namespace vh::test
