// Packages written and read where their path holds characters outside
// Windows' code page: minizip is handed the name the system opens by.
#include "support/zip_files.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <ctime>
#include <utility>
#include <string>
#include <vector>

#include "common/local_file_system.h"
#include "support/buffered_zip_file.h"
#include "support/zip.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

TEST(ZipFiles, APackageIsWrittenAndReadUnderAnyFolderName) {
  test::TempDir dir;
  LocalFileSystem files;
  std::tm when{};
  when.tm_hour = 12;
  when.tm_mday = 1;
  when.tm_year = 120;
  const char* kFolders[] = {"plain", "\xE6\xB8\xB8\xE6\x88\x8F", "\xE6\xB1\x89\xE5\x8C\x96 Varnhollow"};
  for (const char* folder : kFolders) {
    ASSERT_TRUE(files.makeFolder(dir / folder)) << folder;
    const std::string package = dir / folder + "/patch.dat";
    const std::string member = std::string("extra/") + folder + ".txt";
    const std::string bytes = std::string("bytes of ") + folder;
    {
      ZipWriter writer;
      ASSERT_EQ(writer.OpenZip(package, 0), 1) << package;
      writer.AddBytes(member, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), when);
      writer.CloseZip("");
      EXPECT_FALSE(writer.failed()) << package;
    }
    EXPECT_EQ(files.status(package).kind, FileKind::File) << package;
    ZipReader reader;
    ASSERT_EQ(reader.OpenZip(package), 1) << package;
    const auto read = reader.ExtractFile(member, 1, "");
    ASSERT_NE(read, nullptr) << member;
    EXPECT_EQ(read->readString(static_cast<size_t>(read->size())), bytes);
  }
}

TEST(ZipFiles, NothingIsOpenedWhereThereIsNoPackage) {
  test::TempDir dir;
  test::writeFile(dir / "not a zip", "plain text, no directory");
  for (const std::string& path : {dir / "missing.dat", dir / "not a zip", dir.path(), std::string("\xFF.dat")}) {
    EXPECT_EQ(openZipForReading(path), nullptr) << path;
  }
  BufferedZipOutput held;
  for (BufferedZipOutput* through : {static_cast<BufferedZipOutput*>(nullptr), &held}) {
    EXPECT_EQ(openZipForWriting(dir / "missing/patch.dat", 0, nullptr, through), nullptr);
  }
}

// Held or not, and written over whatever file stood at the path, minizip's
// writes make the same file: members smaller than what is held, one that
// fills it past its end, and one several times its size, whose header is
// patched long after its bytes went out.
TEST(ZipFiles, WritesHeldInMemoryMakeTheFileMinizipWritesStraight) {
  test::TempDir dir;
  std::string large(3 * BufferedZipOutput::kHeld + 17, '\0');
  uint32_t state = 1;
  for (char& c : large) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 23);
  const std::vector<std::string> members = {"small", std::string(BufferedZipOutput::kHeld - 40, 'a'), large, "",
                                            std::string(5000, 'b')};
  const auto write = [&](const std::string& path, BufferedZipOutput* held, bool over = false) {
    zipFile file = static_cast<zipFile>(openZipForWriting(path, APPEND_STATUS_CREATE, nullptr, held, over));
    if (!file) return std::string("not opened");
    zip_fileinfo info{};
    info.dosDate = 0x5A210000;
    for (size_t i = 0; i < members.size(); ++i) {
      const std::string name = "member" + std::to_string(i);
      // Stored, so that the large member's bytes stay several times what is held.
      if (zipOpenNewFileInZip(file, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, i == 2 ? 0 : Z_DEFLATED,
                              i == 2 ? 0 : Z_DEFAULT_COMPRESSION) != ZIP_OK ||
          zipWriteInFileInZip(file, members[i].data(), static_cast<unsigned>(members[i].size())) != ZIP_OK ||
          zipCloseFileInZip(file) != ZIP_OK) {
        return std::string("failed at ") + name;
      }
    }
    return zipClose(file, "comment") == ZIP_OK ? test::readFile(path) : std::string("not closed");
  };
  BufferedZipOutput held;
  const std::string straight = write(dir / "straight.zip", nullptr);
  ASSERT_GT(straight.size(), large.size());
  EXPECT_TRUE(write(dir / "held.zip", &held) == straight);
  ZipReader reader;
  ASSERT_EQ(reader.OpenZip(dir / "held.zip"), 1);
  const auto read = reader.ExtractFile("member2", 1, "");
  ASSERT_NE(read, nullptr);
  EXPECT_TRUE(read->readString(static_cast<size_t>(read->size())) == large);

  // Written over: no file, a shorter one, one twice as long, the package
  // itself. What the file held before is neither kept nor read.
  const std::vector<std::pair<const char*, std::string>> before = {
      {"missing", ""}, {"shorter", straight.substr(0, 1000)}, {"longer", std::string(2 * straight.size(), 'Z')},
      {"the same", straight}};
  for (const auto& [what, bytes] : before) {
    const std::string path = dir / (std::string(what) + ".zip");
    if (!bytes.empty()) test::writeFile(path, bytes);
    BufferedZipOutput over;
    EXPECT_TRUE(write(path, &over, true) == straight) << "written over " << what;
  }
  // Nor does a package written over list the members it held.
  ZipWriter writer;
  writer.m_writeOver = true;
  ASSERT_EQ(writer.OpenZip(dir / "the same.zip", 0), 1);
  EXPECT_EQ(writer.getFileCount(), 0);
#ifndef _WIN32
  // A link at the name is not written through.
  test::writeFile(dir / "elsewhere", "not the package's");
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / "link.zip").c_str()), 0);
  BufferedZipOutput throughLink;
  EXPECT_EQ(write(dir / "link.zip", &throughLink, true), "not opened");
  EXPECT_EQ(test::readFile(dir / "elsewhere"), "not the package's");
#endif
}

// Read through the windows, members opened in any order (each one's
// directory entry far from its data, some larger than a window) give the
// bytes minizip reads straight from the file.
TEST(ZipFiles, ReadsThroughTheWindowsGiveTheBytesOfStraightReads) {
  test::TempDir dir;
  std::vector<std::pair<std::string, std::string>> members;
  uint32_t state = 7;
  for (int i = 0; i < 40; ++i) {
    std::string bytes(i % 7 == 0 ? 3 * ReadWindows::kWindow + i : 100 + 997 * i, '\0');
    for (char& c : bytes) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 23);
    members.emplace_back("m" + std::to_string(i), std::move(bytes));
  }
  const std::string path = test::writePackage(dir / "p.zip", members);
  const auto readAll = [&](BufferedZipInput* held) {
    unzFile file = static_cast<unzFile>(openZipForReading(path, held));
    std::vector<std::string> read;
    if (!file) return read;
    // From the last member to the first, then every third one again.
    std::vector<size_t> order;
    for (size_t i = members.size(); i-- > 0;) order.push_back(i);
    for (size_t i = 0; i < members.size(); i += 3) order.push_back(i);
    for (const size_t i : order) {
      std::string bytes(members[i].second.size(), '\0');
      const bool found = unzLocateFile(file, members[i].first.c_str(), 1) == UNZ_OK && unzOpenCurrentFile(file) == UNZ_OK;
      const int got = found ? unzReadCurrentFile(file, bytes.data(), static_cast<unsigned>(bytes.size())) : -1;
      read.push_back(got == static_cast<int>(bytes.size()) && unzCloseCurrentFile(file) == UNZ_OK ? bytes : "failed");
    }
    unzClose(file);
    return read;
  };
  BufferedZipInput held;
  const std::vector<std::string> straight = readAll(nullptr);
  ASSERT_EQ(straight.size(), members.size() + (members.size() + 2) / 3);
  EXPECT_EQ(straight.front(), members.back().second);
  EXPECT_TRUE(readAll(&held) == straight);

  // A file read through windows at places that alternate between its end
  // and its start, as a package's index reads it, some past the end.
  const auto file = RegularFile::open(path);
  ASSERT_TRUE(file);
  WindowedFile windows(*file);
  const uint64_t size = file->size();
  for (uint64_t k = 0; k < 400; ++k) {
    const uint64_t at = k % 2 ? size - 1 - (k * 131) % 4096 : (k * 977) % size;
    const size_t count = k % 5 == 0 ? ReadWindows::kDirect + k : 46;
    std::string through(count, '\0'), direct(count, '\0');
    const bool inside = at + count <= size;
    EXPECT_EQ(windows.readAt(at, through.data(), count), inside) << at;
    if (!inside) continue;
    ASSERT_TRUE(file->readAt(at, direct.data(), count));
    EXPECT_TRUE(through == direct) << at << " " << count;
  }
}

}  // namespace
}  // namespace vh
