// Packages written and read where their path holds characters outside
// Windows' code page: minizip is handed the name the system opens by.
#include "support/zip_files.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "common/local_file_system.h"
#include "support/zip.h"
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
  EXPECT_EQ(openZipForWriting(dir / "missing/patch.dat", 0, nullptr), nullptr);
}

}  // namespace
}  // namespace vh
