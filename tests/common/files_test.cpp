#include "common/files.h"
#include "common/local_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "common/containers.h"
#include "tests/test_support.h"

namespace vh {
namespace {

using test::TempDir;

TEST(ListFolder, GivesNamesWithOrWithoutDotsAndNothingForAMissingFolder) {
  TempDir dir;
  test::writeFile(dir / "a.orz", "");
  test::writeFile(dir / "B.ORZ", "");
  test::makeFolders(dir / "sub/deeper");
  std::vector<std::string> all = listFolder(dir.path());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::string>{".", "..", "B.ORZ", "a.orz", "sub"}));
  std::vector<std::string> plain = listFolder(dir.path(), true);
  std::sort(plain.begin(), plain.end());
  EXPECT_EQ(plain, (std::vector<std::string>{"B.ORZ", "a.orz", "sub"}));
  EXPECT_TRUE(listFolder(dir / "missing").empty());
  EXPECT_TRUE(listFolder(dir / "a.orz").empty());
}

TEST(PathInFolder, NormalisesPathsInsideAndRefusesEveryWayOut) {
  struct Case {
    const char* path;
    const char* normal;
  };
  for (const Case c : {Case{"readme.txt", "readme.txt"}, Case{"docs/manual.txt", "docs/manual.txt"},
                       Case{"docs\\manual.txt", "docs/manual.txt"}, Case{"a..b/c", "a..b/c"},
                       Case{"Forest/./x.xarc", "Forest/x.xarc"}, Case{"./docs//fonts/\\a.ttf", "docs/fonts/a.ttf"},
                       Case{"static/Lighthouse/1/1.xarc", "static/Lighthouse/1/1.xarc"},
                       Case{"Global\\1\\1.xarc", "Global/1/1.xarc"},
                       // Only the first segment is the backup folder; near names are not.
                       Case{"docs/.vhpatch-backup/x", "docs/.vhpatch-backup/x"},
                       Case{".vhpatch-backups/x", ".vhpatch-backups/x"},
                       // Device names only as the whole stem.
                       Case{"console.txt", "console.txt"}, Case{"com10", "com10"}, Case{"lpt0.txt", "lpt0.txt"},
                       Case{"auxiliary/nul_", "auxiliary/nul_"}, Case{".con", ".con"},
                       // GBK bytes are no control characters.
                       Case{"\xC4\xE3.txt", "\xC4\xE3.txt"}}) {
    EXPECT_EQ(pathInFolder(c.path), std::optional<std::string>(c.normal)) << c.path;
    EXPECT_FALSE(escapesFolder(c.path)) << c.path;
  }
  for (const std::string& outside : test::kPathsOutsideTheFolder) {
    EXPECT_EQ(pathInFolder(outside), std::nullopt) << outside;
    EXPECT_TRUE(escapesFolder(outside)) << outside;
  }
}

TEST(FileKind, TellsFilesFoldersAndMissing) {
  TempDir dir;
  test::writeFile(dir / "f", "12345");
  EXPECT_EQ(fileKind(dir / "f"), FileKind::File);
  EXPECT_EQ(fileKind(dir.path()), FileKind::Folder);
  EXPECT_EQ(fileKind(dir / "none"), FileKind::Missing);
  EXPECT_EQ(fileSize(dir / "f"), 5);
  EXPECT_EQ(fileSize(dir / "none"), -1);
  EXPECT_GT(fileModTime(dir / "f"), 0);
}

// Game files, extra files and the backup are read whole; the read takes the
// file's size up front and must still give every byte of a file of any
// length.
TEST(ReadWholeFile, GivesEveryByteWhateverTheLength) {
  TempDir dir;
  LocalFileSystem files;
  for (const size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{300001}}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 7);
    const std::string path = dir / ("f" + std::to_string(size));
    test::writeFile(path, bytes);
    const Result<std::string> whole = readWholeFile(files, path);
    ASSERT_TRUE(whole) << size;
    EXPECT_TRUE(whole.value() == bytes) << size;
    // A limit of the file's own size lets it through; one byte less refuses
    // it before anything is read.
    EXPECT_TRUE(readWholeFile(files, path, size)) << size;
    if (size > 0) {
      EXPECT_EQ(readWholeFile(files, path, size - 1).fault().kind, FaultKind::BadSize) << size;
    }
    std::string blocks;
    EXPECT_TRUE(readFileBlocks(files, path, [&](std::string_view block) {
      blocks.append(block);
      return true;
    }));
    EXPECT_TRUE(blocks == bytes) << size;
  }
  // Through a link, as the player's own links in the game folder are.
  std::filesystem::create_symlink(dir / "f65537", dir / "link");
  EXPECT_EQ(readWholeFile(files, dir / "link").value().size(), 65537u);
}

// Whatever is not a regular file is refused at once: a pipe with no writer
// would hold the open (the test would hang), /dev/zero would never end, a
// folder holds no bytes.
TEST(ReadWholeFile, RefusesWhatIsNoRegularFileWithoutBlocking) {
  TempDir dir;
  LocalFileSystem files;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir / "zeros");
  std::filesystem::create_symlink(dir / "pipe", dir / "to-pipe");
  for (const std::string& path : {dir / "pipe", dir / "zeros", dir / "to-pipe", std::string("/dev/zero"), dir.path(),
                                  dir / "missing"}) {
    EXPECT_FALSE(RegularFile::open(path).has_value()) << path;
    EXPECT_EQ(readWholeFile(files, path).fault().kind, FaultKind::CannotOpen) << path;
    EXPECT_FALSE(readFileBlocks(files, path, [](std::string_view) { return true; })) << path;
  }
}

TEST(RegularFile, ReadsAtOffsetsAndSaysWhenTheFileIsShort) {
  TempDir dir;
  test::writeFile(dir / "f", "0123456789");
  auto file = RegularFile::open(dir / "f");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->size(), 10u);
  char bytes[4] = {};
  ASSERT_TRUE(file->readAt(6, bytes, 4));
  EXPECT_EQ(std::string(bytes, 4), "6789");
  EXPECT_FALSE(file->readAt(7, bytes, 4));
  // The descriptor is open for reading, in blocking mode again.
  const int fd = file->release();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_EQ(read(fd, bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "0123");
  close(fd);
}

TEST(OrderedMap, OrdersBytewiseWithPrefixesFirstAndReplacesOnInsert) {
  OrderedMap<int> map;
  map.insert_or_assign("b", 1);
  map.insert_or_assign("\xC4\xE3", 2);  // above 127: after every ASCII key
  map.insert_or_assign("ab", 3);
  map.insert_or_assign("a", 4);
  map.insert_or_assign("Z", 5);
  map.insert_or_assign("a", 6);  // replaces
  std::vector<std::string> keys;
  for (const auto& [key, value] : map) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Z", "a", "ab", "b", "\xC4\xE3"}));
  EXPECT_EQ(map["a"], 6);
}

}  // namespace
}  // namespace vh
