// The local file system on Windows, in a folder with a Chinese name so that
// every path crosses the UTF-8 to UTF-16 edge.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/local_file_system.h"
#include "common/program_path.h"
#include "common/stream.h"
#include "common/wide_text_win32.h"
#include "tests/test_support.h"

namespace vh {
namespace {

const std::string kChinese = "\xE6\xB8\xB8\xE6\x88\x8F";  // 游戏

class LocalFileSystemWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = dir / kChinese;
    ASSERT_TRUE(files.makeFolder(folder));
    target = folder + "/" + kChinese + ".xarc";
    ASSERT_TRUE(replaceWholeFile(files, target, "original"));
  }
  std::string content(const std::string& path) {
    const auto bytes = readWholeFile(files, path);
    return bytes ? bytes.value() : "<unreadable>";
  }
  void setReadOnly(const std::string& path, bool on) {
    const std::wstring wide = *wideText(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), on ? attributes | FILE_ATTRIBUTE_READONLY
                                                    : attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}));
  }
  // Appends through a handle of its own, as another program would.
  void appendInPlace(const std::string& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(wideText(path)->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
    CloseHandle(file);
  }

  test::TempDir dir;
  LocalFileSystem files;
  std::string folder;
  std::string target;
};

TEST_F(LocalFileSystemWin32Test, ReplacesAnExistingFileAndLeavesNothingBeside) {
  const struct {
    const char* bytes;
    bool replaced;  // false: the new file is dropped before its rename
  } kCases[] = {{"installed", true}, {"", true}, {"never renamed", false}};
  std::string expected = "original";
  for (const auto& c : kCases) {
    auto file = files.create(target);
    ASSERT_NE(file, nullptr) << c.bytes;
    EXPECT_EQ(file->target(), target);
    file->stream().writeString(c.bytes);
    EXPECT_EQ(content(target), expected) << "the target is untouched until the rename";
    if (c.replaced) {
      ASSERT_TRUE(files.replace(*file, FolderSync::Later)) << c.bytes;
      expected = c.bytes;
    }
    file.reset();
    EXPECT_EQ(content(target), expected) << c.bytes;
    EXPECT_EQ(files.list(folder), std::vector<std::string>{kChinese + ".xarc"}) << c.bytes;
  }
}

TEST_F(LocalFileSystemWin32Test, ARenameReplacesWhatIsThere) {
  ASSERT_TRUE(replaceWholeFile(files, folder + "/other", "other"));
  ASSERT_TRUE(files.rename(folder + "/other", target));
  EXPECT_EQ(content(target), "other");
  EXPECT_EQ(files.status(folder + "/other").kind, FileKind::Missing);
}

TEST_F(LocalFileSystemWin32Test, AFileThatMayNotBeWrittenIsRefusedAsAWriteWouldBe) {
  setReadOnly(target, true);
  EXPECT_EQ(files.create(target), nullptr);
  EXPECT_FALSE(replaceWholeFile(files, target, "installed"));
  EXPECT_EQ(content(target), "original");
  EXPECT_EQ(files.list(folder).size(), 1u) << "no new file is left beside it";
  setReadOnly(target, false);
  EXPECT_TRUE(replaceWholeFile(files, target, "installed"));
  // Neither is what stands where no regular file does.
  EXPECT_EQ(files.create(folder), nullptr);
}

TEST_F(LocalFileSystemWin32Test, StampsTellAWriteInPlaceFromAReplacement) {
  const FileStamp before = files.status(target).stamp;
  EXPECT_EQ(before.size, 8u);
  EXPECT_NE(before.identity, 0u);
  Sleep(20);  // past the file system's clock step
  appendInPlace(target, "+");
  const FileStamp written = files.status(target).stamp;
  EXPECT_EQ(written.size, 9u);
  EXPECT_EQ(written.identity, before.identity) << "the same file, written";
  EXPECT_GT(written.changedNs, before.changedNs);
  EXPECT_GT(written.modifiedNs, before.modifiedNs);
  ASSERT_TRUE(replaceWholeFile(files, target, "replaced"));
  EXPECT_NE(files.status(target).stamp.identity, before.identity) << "another file in its place";
  // Nanoseconds since 1970, as on Linux: this year, not 1601's.
  constexpr int64_t k2020 = 1'577'836'800LL * 1'000'000'000LL;
  EXPECT_GT(written.modifiedNs, k2020);
}

TEST_F(LocalFileSystemWin32Test, TellsWhatStandsAtAPath) {
  const struct {
    std::string path;
    FileKind kind;
  } kCases[] = {
      {target, FileKind::File},
      {folder, FileKind::Folder},
      {folder + "/", FileKind::Folder},
      {folder + "/missing", FileKind::Missing},
      {target + "/inside", FileKind::Missing},
      {"NUL", FileKind::Other},
      {"", FileKind::Missing},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(files.status(c.path).kind, c.kind) << c.path;
    EXPECT_FALSE(files.isLink(c.path)) << c.path;
    EXPECT_EQ(files.linkTarget(c.path), c.path);
  }
  EXPECT_EQ(files.openRegular("NUL"), nullptr);
}

TEST_F(LocalFileSystemWin32Test, FoldersAreMadeListedAndRemoved) {
  const std::string inner = folder + "/" + kChinese;
  EXPECT_TRUE(files.makeFolder(inner));
  EXPECT_FALSE(files.makeFolder(inner)) << "something is there already";
  ASSERT_TRUE(replaceWholeFile(files, inner + "/a", "a"));
  EXPECT_FALSE(files.removeFolder(inner)) << "not empty";
  EXPECT_TRUE(files.removeFile(inner + "/a"));
  EXPECT_FALSE(files.removeFile(inner + "/a"));
  EXPECT_TRUE(files.removeFolder(inner));
  EXPECT_TRUE(files.list(inner).empty());
  files.syncFolder(folder);  // nothing to do, and nothing fails
}

// What a killed writer leaves is named by the same rule on every platform.
TEST_F(LocalFileSystemWin32Test, LeftoversOfAKilledWriterAreFoundByName) {
  std::string leftover;
  {
    auto file = files.create(target);
    ASSERT_NE(file, nullptr);
    for (const std::string& name : files.list(folder)) {
      if (name != kChinese + ".xarc") leftover = name;
    }
  }
  ASSERT_EQ(leftover.rfind(kChinese + ".xarc" + kNewFileMark, 0), 0u) << leftover;
  ASSERT_TRUE(replaceWholeFile(files, folder + "/" + leftover, "half"));
  ASSERT_TRUE(replaceWholeFile(files, folder + "/keep" + kNewFileMark + "ABCDEF", "not ours to judge"));
  EXPECT_EQ(removeLeftovers(files, folder, {kChinese + ".xarc"}), 1u);
  EXPECT_EQ(files.status(folder + "/" + leftover).kind, FileKind::Missing);
  EXPECT_EQ(removeAllLeftovers(files, folder), 1u);
  EXPECT_EQ(files.list(folder), std::vector<std::string>{kChinese + ".xarc"});
}

TEST(ProgramPathWin32, NamesThisProgramWithSlashes) {
  const std::string path = programPath();
  EXPECT_EQ(path.find('\\'), std::string::npos) << path;
  ASSERT_GT(path.size(), 4u);
  std::string ending = path.substr(path.rfind('/') + 1);
  std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return std::tolower(c); });
  EXPECT_EQ(ending, "vhtests.exe");
  LocalFileSystem files;
  EXPECT_EQ(files.status(path).kind, FileKind::File);
  // The bytes the installation's digest of its own build reads are this
  // program's (Wine would open its own loader for a Linux name).
  const FileStatus read = files.status(programFile());
  EXPECT_EQ(read.kind, FileKind::File) << programFile();
  EXPECT_EQ(read.stamp.size, files.status(path).stamp.size);
}

}  // namespace
}  // namespace vh
