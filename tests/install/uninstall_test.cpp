// Putting a game back from its backup through the library: every original
// is rebuilt a block at a time, never held whole, and a rebuild that does
// not give the original, or cannot be written, leaves the installed file as
// it is.
#include "install/uninstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "common/stream.h"
#include "install/patcher.h"
#include "support/registry_platform.h"
#include "tests/fake_file_system.h"
#include "tests/install/small_game.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;

// Several times the largest block a restore may read or write at once, so
// that a file taken whole cannot pass for one read in blocks.
constexpr size_t kLargeFile = size_t{3} << 20;
constexpr size_t kLargestBlock = size_t{1} << 19;

// A new file's stream that fails as a full disk does once `left` bytes are
// written.
class FullDisk final : public Stream {
 public:
  FullDisk(Stream& file, size_t left) : file_(file), left_(left) {}
  int64_t position() const override { return file_.position(); }
  int64_t size() const override { return file_.size(); }
  void seek(int64_t position) override { file_.seek(position); }
  void write(const void* source, size_t count) override {
    if (count > left_) throw StreamError(kWriteError);
    left_ -= count;
    file_.write(source, count);
  }

 protected:
  size_t readSome(void* destination, size_t count) override { return file_.read(destination, count); }

 private:
  Stream& file_;
  size_t left_;
};

// The pieces file of the game file at `path`.
std::string piecesOf(const test::SmallGame& game, const std::string& path) {
  for (const auto& entry : fs::directory_iterator(game.dir / "game/.vhpatch-backup")) {
    if (test::readFile(entry.path()).find("\npath=" + path + "\n") != std::string::npos) return entry.path();
  }
  return "";
}

void flipLastByte(const std::string& path) {
  std::string bytes = test::readFile(path);
  bytes.back() = static_cast<char>(bytes.back() ^ 0x5a);
  test::writeFile(path, bytes);
}

TEST(Uninstall, PutsOriginalsBackABlockAtATimeAndLeavesAFileItCannotRebuildInstalled) {
  struct Case {
    const char* name;
    // Done to the installed game, or to the file system, before the
    // uninstallation.
    std::function<void(const test::SmallGame&, test::FakeFileSystem&)> spoil;
    int status;
    std::string message;                   // how the first message begins
    std::vector<std::string> leftInstalled;  // every other file is its original again
  };
  const Case cases[] = {
      {"every file comes back", [](const test::SmallGame&, test::FakeFileSystem&) {}, 0, "", {}},
      {"kept bytes that do not give the original",
       [](const test::SmallGame& game, test::FakeFileSystem&) { flipLastByte(piecesOf(game, "readme.txt")); }, 1,
       "backup damaged, cannot restore:", {"readme.txt"}},
      {"copied bytes that do not give the original",
       [](const test::SmallGame& game, test::FakeFileSystem&) {
         // The archive's pieces copy its last member from the installed
         // file; the kept bytes are the header, table and record file.
         std::string pieces = test::readFile(piecesOf(game, "A/A.xarc"));
         const size_t copy = pieces.find("\ncopy=");
         ASSERT_NE(copy, std::string::npos);
         pieces[pieces.find(' ', copy) - 1] ^= 1;  // its offset, one byte off
         test::writeFile(piecesOf(game, "A/A.xarc"), pieces);
       },
       1, "backup damaged, cannot restore:", {"A/A.xarc"}},
      {"a disk full while the originals are written",
       [](const test::SmallGame&, test::FakeFileSystem& files) {
         files.newFileStream = [](Stream& file) { return std::make_unique<FullDisk>(file, kLargeFile / 2); };
       },
       1, "failed to write:", {"readme.txt", "A/1/1.xarc", "A/A.xarc"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SmallGame game(kLargeFile);
    RecordingHost recording;
    test::FakeFileSystem files;
    const auto registry = WineRegistry::inMemory();
    tPatcher patcher(Services{recording, recording, files, *registry, ""});
    ASSERT_EQ(game.install(patcher), 1) << ::testing::PrintToString(recording.messages());
    const auto installed = game.now();
    c.spoil(game, files);
    recording.events.clear();
    files.largestRead = files.largestWrite = 0;

    EXPECT_EQ(uninstallGame(patcher), c.status) << ::testing::PrintToString(recording.messages());
    EXPECT_LE(files.largestRead, kLargestBlock);
    EXPECT_LE(files.largestWrite, kLargestBlock);
    const auto now = game.now();
    EXPECT_EQ(now.size(), game.files.size()) << "a new file was left behind";
    for (const std::string& file : game.files) {
      const bool left = std::find(c.leftInstalled.begin(), c.leftInstalled.end(), file) != c.leftInstalled.end();
      EXPECT_TRUE(now.count(file) && now.at(file) == (left ? installed.at(file) : game.original.at(file))) << file;
    }
    const auto messages = recording.messages();
    if (c.message.empty()) {
      EXPECT_TRUE(messages.empty()) << ::testing::PrintToString(messages);
    } else {
      ASSERT_FALSE(messages.empty());
      EXPECT_EQ(messages.front().rfind(c.message, 0), 0u) << messages.front();
    }
  }
}

}  // namespace
}  // namespace vh
