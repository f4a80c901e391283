// Writes that fail after N bytes, for every N over a small case: an
// installation through tPatcher, whose new files get a stream that gives out,
// and a package through ZipWriter, whose file functions do.
#include <gtest/gtest.h>
#include <malloc.h>
#include <minizip/ioapi.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <signal.h>
#include <sys/resource.h>

#include "common/files.h"
#include "install/patcher.h"
#include "support/registry_platform.h"
#include "support/zip.h"
#include "tests/fake_file_system.h"
#include "tests/install/small_game.h"
#include "tests/recording_host.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;

// Forwards to the new file until the budget shared by every new file is
// spent: the write that crosses it puts what still fits, then fails as a
// full disk does. Without a budget it only counts.
class FailingStream final : public Stream {
 public:
  FailingStream(Stream& file, int64_t& left, std::vector<int64_t>& written)
      : file_(file), left_(left), written_(written) {
    written_.push_back(0);
  }
  int64_t position() const override { return file_.position(); }
  int64_t size() const override { return file_.size(); }
  void seek(int64_t position) override { file_.seek(position); }
  void write(const void* source, size_t count) override {
    const auto fits = static_cast<size_t>(std::clamp<int64_t>(left_, 0, static_cast<int64_t>(count)));
    file_.write(source, fits);
    left_ -= static_cast<int64_t>(fits);
    written_.back() += static_cast<int64_t>(fits);
    if (fits < count) throw StreamError(kWriteError);
  }

 protected:
  size_t readSome(void* destination, size_t count) override { return file_.read(destination, count); }

 private:
  Stream& file_;
  int64_t& left_;
  std::vector<int64_t>& written_;
};

// Puts every new file `files` makes in its life behind a FailingStream.
class WriteBudget {
 public:
  WriteBudget(test::FakeFileSystem& files, int64_t bytes) : files_(files), left_(bytes) {
    files_.newFileStream = [this](Stream& file) { return std::make_unique<FailingStream>(file, left_, written_); };
  }
  ~WriteBudget() { files_.newFileStream = nullptr; }
  // Bytes each new file was given, in the order the files were made.
  const std::vector<int64_t>& written() const { return written_; }

 private:
  test::FakeFileSystem& files_;
  int64_t left_;
  std::vector<int64_t> written_;
};

// What an installation in these tests goes through: the recording, a file
// system of the test's, and an empty registry.
struct FaultServices {
  RecordingHost recording;
  test::FakeFileSystem files;
  std::unique_ptr<WineRegistry> registry = WineRegistry::inMemory();
  Services services() { return {recording, recording, files, *registry, ""}; }
};

TEST(WriteFailure, EveryByteOfAnInstallationFailsCleanly) {
  test::TempDirsInMemory fast;
  FaultServices run;
  RecordingHost& recording = run.recording;
  test::SmallGame game;
  const auto install = [&] {
    tPatcher patcher(run.services());
    return game.install(patcher);
  };
  std::vector<int64_t> sizes;
  std::map<std::string, std::string> patched;
  {
    WriteBudget unlimited(run.files, INT64_MAX);
    ASSERT_EQ(install(), 1) << ::testing::PrintToString(recording.messages());
    sizes = unlimited.written();
    patched = game.now();
  }
  // Every new file counts: the backup's pieces and manifest as well as the
  // game files, so a budget can run out inside any of them.
  int64_t total = 0;
  for (int64_t size : sizes) total += size;
  for (const std::string& file : game.files) ASSERT_NE(patched[file], game.original[file]) << file;

  int failures = 0, damaged = 0;
  for (int64_t budget = 0; budget < total; ++budget) {
    SCOPED_TRACE("failing after " + std::to_string(budget) + " bytes");
    game.reset();
    recording.events.clear();
    {
      WriteBudget limited(run.files, budget);
      EXPECT_EQ(install(), 0);
    }
    // The first message names the file that could not be written, a game
    // file or the backup of one.
    const auto messages = recording.messages();
    const bool reported = !messages.empty() && messages.front().rfind("failed to write", 0) == 0;
    EXPECT_TRUE(reported) << ::testing::PrintToString(messages);
    failures += reported;
    const auto now = game.now();
    EXPECT_EQ(now.size(), game.files.size()) << "a new file was left behind";
    for (const std::string& file : game.files) {
      const bool right = now.count(file) && (now.at(file) == patched[file] || now.at(file) == game.original[file]);
      EXPECT_TRUE(right) << file;
      damaged += !right;
    }
  }
  std::cout << "write failures through tPatcher: " << total << " budgets, " << failures << " reported, " << damaged
            << " damaged files\n";
  EXPECT_EQ(failures, total);
}

// A file the system refuses only when the new file is flushed at its end:
// the archives are far smaller than the write buffer, so saving them puts
// nothing on the disk yet.
TEST(WriteFailure, ANewFileRefusedAtItsFlushFailsTheInstallation) {
  test::TempDirsInMemory fast;
  FaultServices run;
  RecordingHost& recording = run.recording;
  test::SmallGame game;
  const std::string readme = game.original.at("readme.txt");
  ASSERT_LT(readme.size(), 64u);
  {
    struct FileSizeLimit {
      rlimit previous{};
      void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
      FileSizeLimit() {
        getrlimit(RLIMIT_FSIZE, &previous);
        const rlimit limit{64, previous.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, handler);
      }
    } limit;
    tPatcher patcher(run.services());
    EXPECT_EQ(game.install(patcher), 0);
  }
  // The first file refused is the backup of the readme, which the extra
  // file overwrites whole; nothing of the game changes.
  EXPECT_EQ(recording.messages(),
            (std::vector<std::string>{"failed to write backup for:" + (game.dir / "game/readme.txt")}));
  const auto now = game.now();
  EXPECT_EQ(now.at("readme.txt"), game.original.at("readme.txt"));
  EXPECT_EQ(now.at("A/1/1.xarc"), game.original.at("A/1/1.xarc"));
  EXPECT_EQ(now.at("A/A.xarc"), game.original.at("A/A.xarc"));
  EXPECT_EQ(now.size(), game.files.size()) << "a new file was left behind";
}

// The last step can fail too: the new archive is whole on the disk, but it
// cannot be renamed over the old one (here, something put a folder in the
// archive's place while it was written). The installation must say so and
// stop, not count the archive as translated.
TEST(WriteFailure, AnArchiveThatCannotBeRenamedIntoPlaceFailsTheInstallation) {
  test::TempDirsInMemory fast;
  FaultServices run;
  RecordingHost& recording = run.recording;
  test::SmallGame game;
  const std::string archive = game.dir / "game/A/1/1.xarc";
  bool replaced = false;
  run.files.newFileStream = [&](Stream&) -> std::unique_ptr<Stream> {
    // The new file of this archive is the only one made in its folder.
    for (const auto& entry : fs::directory_iterator(game.dir / "game/A/1")) {
      if (!replaced && entry.path().filename().string().find(kNewFileMark) != std::string::npos) {
        fs::rename(archive, archive + ".moved");
        fs::create_directory(archive);
        replaced = true;
      }
    }
    return nullptr;
  };
  tPatcher patcher(run.services());
  const int status = game.install(patcher);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(status, 0);
  const auto messages = recording.messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front(), "failed to write:" + archive);
  EXPECT_TRUE(fs::is_directory(archive));
  EXPECT_EQ(test::readFile(archive + ".moved"), game.original.at("A/1/1.xarc"));
}

// minizip's plain file functions with a write that gives out once the
// budget is spent, putting what still fits first.
struct FailingZipFile {
  zlib_filefunc64_def plain{};
  int64_t left = 0;
  int64_t written = 0;  // headers rewritten in place count again

  zlib_filefunc64_def functions() {
    fill_fopen64_filefunc(&plain);
    zlib_filefunc64_def failing = plain;  // the plain ones take no state of their own
    failing.opaque = this;
    failing.zwrite_file = [](voidpf opaque, voidpf stream, const void* bytes, uLong size) -> uLong {
      auto& self = *static_cast<FailingZipFile*>(opaque);
      const auto fits = static_cast<uLong>(std::clamp<int64_t>(self.left, 0, static_cast<int64_t>(size)));
      const uLong put = fits ? self.plain.zwrite_file(self.plain.opaque, stream, bytes, fits) : 0;
      self.left -= static_cast<int64_t>(put);
      self.written += static_cast<int64_t>(put);
      return put;
    };
    return failing;
  }
};

TEST(WriteFailure, EveryByteOfAPackageFailsCleanly) {
  test::TempDirsInMemory fast;
  // Each package allocates and frees the deflater's state; without a trim
  // threshold above it, every one of them costs the heap a grow and a shrink.
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  test::TempDir dir;
  std::string noise(1500, '\0');
  uint32_t state = 7;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  const std::vector<std::pair<std::string, std::string>> members = {
      {"patchscene.lst", "scene=A\r\nsub=99\r\npath=A/A.xarc\r\n>>\r\n"}, {"extra/noise.bin", noise}, {"extra.lst", ""}};
  const std::string path = dir / "patch.dat.building";
  int64_t total = 0;  // bytes the whole package takes to write
  const auto build = [&](int64_t budget) {
    FailingZipFile file;
    file.left = budget;
    auto functions = file.functions();
    ZipWriter writer;
    writer.m_fileFunctions = &functions;
    if (!writer.OpenZip(path, 0)) return false;
    for (const auto& [name, bytes] : members) {
      MemoryStream stream(bytes.data(), bytes.size());
      writer.AddStream(&stream, name, "");
    }
    writer.CloseZip("");
    total = file.written;
    return !writer.failed();
  };

  ASSERT_TRUE(build(INT64_MAX));
  const int64_t needed = total;
  EXPECT_GE(needed, static_cast<int64_t>(test::readFile(path).size()));
  auto stored = test::packageMembers(path);
  auto given = members;
  std::sort(stored.begin(), stored.end());
  std::sort(given.begin(), given.end());
  EXPECT_EQ(stored, given);
  int reported = 0;
  for (int64_t budget = 0; budget < needed; ++budget) {
    const bool whole = build(budget);
    EXPECT_FALSE(whole) << "a write failing after " << budget << " of " << needed << " bytes went unnoticed";
    reported += !whole;
  }
  std::cout << "write failures through ZipWriter: " << needed << " budgets, " << reported << " reported\n";
  EXPECT_EQ(reported, needed);
  EXPECT_TRUE(build(needed));
}

// A package of more than 8 MiB is synced ahead on another thread while it
// is written (its stream in blocks, as the build copies one): whole, it
// reads back as given; a write that fails before, during or after that
// sync still fails the package, and closing it waits for the sync.
TEST(WriteFailure, APackageSyncedAheadWhileItIsWrittenFailsOrReadsBackWhole) {
  test::TempDirsInMemory fast;
  test::TempDir dir;
  std::string font(10u << 20, '\0');
  uint32_t state = 11;
  for (char& c : font) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  const PackedMember packed = deflateMember(reinterpret_cast<const uint8_t*>(font.data()), font.size(), 1);
  const std::string path = dir / "patch.dat.building";
  const std::string list = "cnfont.ttf\r\n";
  constexpr size_t kBlock = 256u << 10;
  const auto size = static_cast<int64_t>(packed.compressed.size());
  ASSERT_GT(size, int64_t{9} << 20);
  for (const int64_t budget : {INT64_MAX, int64_t{1} << 20, int64_t{9} << 20, size + 40}) {
    SCOPED_TRACE("writes fail after " + std::to_string(budget) + " bytes");
    FailingZipFile file;
    file.left = budget;
    auto functions = file.functions();
    ZipWriter writer;
    writer.m_fileFunctions = &functions;
    ASSERT_TRUE(writer.OpenZip(path, 0));
    writer.BeginPacked("extra/cnfont.ttf", 0, ZipWriter::timeNow());
    for (size_t at = 0; at < packed.compressed.size(); at += kBlock) {
      writer.WritePacked(packed.compressed.data() + at, std::min(kBlock, packed.compressed.size() - at));
    }
    writer.EndPacked("extra/cnfont.ttf", packed.size, packed.crc);
    writer.AddBytes("extra.lst", reinterpret_cast<const uint8_t*>(list.data()), list.size(), ZipWriter::timeNow());
    writer.CloseZip("");
    EXPECT_EQ(writer.failed(), budget != INT64_MAX);
    if (writer.failed()) continue;
    std::map<std::string, std::string> stored;
    for (auto& [name, bytes] : test::packageMembers(path)) stored[name] = std::move(bytes);
    EXPECT_EQ(stored.size(), 2u);
    EXPECT_TRUE(stored["extra/cnfont.ttf"] == font) << "the stream came back other than written";
    EXPECT_EQ(stored["extra.lst"], list);
  }
}

}  // namespace
}  // namespace vh
