#include "tests/app/installation.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/files.h"
#include "common/replacing_file.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "patch/patch.h"
#include "patch/patcher.h"
#include "tests/recording_desktop.h"
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
  RecordingDesktop quiet;
  ScopedDesktop installed(quiet);
  tXARC archive;
  archive.subId = std::stoi(sub.name);
  EXPECT_EQ(archive.open(setup.original + "/" + sub.path), 1);
  const auto& scene = *package.scenes.at(sceneName);
  if (scene.trz && archive.getXRC()) applyTrz(*archive.getXRC(), *scene.trz);
  if (sceneName == "Global") {
    tPatcher patcher;
    patcher.replaceMirel(*archive.getXRC());
  }
  return saved(archive);
}

}  // namespace

void expectPatched(const Installation& setup) {
  RecordingDesktop quiet;
  ScopedDesktop installed(quiet);
  tPatch package;
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
  ASSERT_EQ(global.open(setup.game + "/Global/Global.xarc"), 1);
  EXPECT_EQ(global.getXRC()->getRecordArray()[4243]->data.title, kHeroine);
  tXARC before;
  ASSERT_EQ(before.open(setup.original + "/Global/Global.xarc"), 1);
  EXPECT_EQ(global.findFile("ambient.wav")->bank->toString(), before.findFile("AMBIENT.WAV")->bank->toString());
  EXPECT_EQ(global.findFile("scene.xmg")->bank->toString(), before.findFile("scene.xmg")->bank->toString());

  // Extra files copied; the subfolder's name leads to nothing.
  EXPECT_EQ(readFile(setup.game + "/readme_cn.txt"), readFile(setup.program + "/extra/readme_cn.txt"));
  EXPECT_EQ(readFile(setup.game + "/font.cfg"), readFile(setup.program + "/extra/font.cfg"));
  EXPECT_FALSE(fileExists(setup.game + "/docs/manual.txt"));
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
