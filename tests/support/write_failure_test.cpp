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

#include "app/recording_desktop.h"
#include "common/files.h"
#include "common/replacing_file.h"
#include "patch/patcher.h"
#include "support/zip.h"
#include "tests/formats/archive_fixture.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::Rec;

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

// Puts every new file of its life behind a FailingStream.
class WriteBudget {
 public:
  explicit WriteBudget(int64_t bytes) : left_(bytes) {
    setNewFileFilter([this](Stream& file) { return std::make_unique<FailingStream>(file, left_, written_); });
  }
  ~WriteBudget() { setNewFileFilter(nullptr); }
  // Bytes each new file was given, in the order the files were made.
  const std::vector<int64_t>& written() const { return written_; }

 private:
  int64_t left_;
  std::vector<int64_t> written_;
};

std::string records(const std::string& text) {
  Rec root;
  root.type1 = 1;
  root.childCount = 2;
  Rec line;
  line.type1 = 29;
  line.subString = test::embedded("", text, "TL");
  return test::recordFile({root, line, line});
}

// A game of one scene with two small archives and one extra file, and a
// package that changes all three. Files are written in this order.
class SmallInstallation {
 public:
  SmallInstallation() {
    test::makeFolders(dir / "game/A/1");
    test::writeFile(dir / "game/x.xarc", test::makeArchive({}));
    for (const std::string& file : files) {
      original[file] = file == "readme.txt" ? "the old readme"
                                            : test::makeArchive({{"a.xrc", records("old " + file)}, {"a.wav", "RIFF"}});
    }
    test::writePackage(dir / "patch.dat",
                       {{"patchscene.lst", "scene=A\r\nsub=99\r\npath=A/A.xarc\r\nsub=1\r\npath=A/1/1.xarc\r\n>>\r\n"},
                        {"trans/A.trz", "id=A990001\ntype=speech\nvalue=new\n>>\nid=A010002\ntype=speech\nvalue=one\n>>\n"},
                        {"extra.lst", "readme.txt\r\n"},
                        {"extra/readme.txt", "the new readme"}});
  }

  void reset() const {
    for (const auto& [file, bytes] : original) test::writeFile(dir / ("game/" + file), bytes);
  }
  int install() const {
    tPatcher patcher;
    patcher.gameRoot = dir / "game/";
    patcher.gameValid = 1;
    if (!patcher.loadPatch(dir / "patch.dat")) return -1;
    return patcher.doReplace();
  }
  std::map<std::string, std::string> now() const {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "game")) {
      const std::string name = fs::relative(entry.path(), dir / "game").string();
      if (entry.is_regular_file() && name != "x.xarc") found[name] = test::readFile(entry.path());
    }
    return found;
  }

  test::TempDir dir;
  const std::vector<std::string> files = {"readme.txt", "A/1/1.xarc", "A/A.xarc"};
  std::map<std::string, std::string> original;
};

TEST(WriteFailure, EveryByteOfAnInstallationFailsCleanly) {
  test::TempDirsInMemory fast;
  RecordingDesktop recording;
  ScopedDesktop installed(recording);
  SmallInstallation game;
  game.reset();
  std::vector<int64_t> sizes;
  std::map<std::string, std::string> patched;
  {
    WriteBudget unlimited(INT64_MAX);
    ASSERT_EQ(game.install(), 1) << ::testing::PrintToString(recording.messages());
    sizes = unlimited.written();
    patched = game.now();
  }
  ASSERT_EQ(sizes.size(), game.files.size());
  int64_t total = 0;
  for (size_t k = 0; k < sizes.size(); ++k) {
    ASSERT_EQ(sizes[k], static_cast<int64_t>(patched[game.files[k]].size())) << game.files[k] << " came out of order";
    ASSERT_NE(patched[game.files[k]], game.original[game.files[k]]) << game.files[k];
    total += sizes[k];
  }

  int failures = 0, damaged = 0;
  for (int64_t budget = 0; budget < total; ++budget) {
    SCOPED_TRACE("failing after " + std::to_string(budget) + " bytes");
    game.reset();
    recording.events.clear();
    // The file whose write crosses the budget; those before it are whole.
    size_t failing = 0;
    for (int64_t before = sizes[0]; before <= budget; before += sizes[++failing]) {
    }
    {
      WriteBudget limited(budget);
      EXPECT_EQ(game.install(), 0);
    }
    const std::string path = game.dir / ("game/" + game.files[failing]);
    std::vector<std::string> expected = {"failed to write:" + path};
    if (failing > 0) expected.push_back("failed applying patch:A");
    EXPECT_EQ(recording.messages(), expected);
    failures += recording.messages() == expected;
    const auto now = game.now();
    EXPECT_EQ(now.size(), game.files.size()) << "a new file was left behind";
    for (size_t k = 0; k < game.files.size(); ++k) {
      const std::string& file = game.files[k];
      const bool right = now.count(file) && now.at(file) == (k < failing ? patched[file] : game.original[file]);
      EXPECT_TRUE(right) << file;
      damaged += !right;
    }
  }
  std::cout << "write failures through tPatcher: " << total << " budgets, " << failures << " reported, " << damaged
            << " damaged files\n";
  EXPECT_EQ(failures, total);
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

}  // namespace
}  // namespace vh
