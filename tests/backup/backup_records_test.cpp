// The backup's pieces files and manifest as untrusted bytes: written and read
// back, cut at every byte, damaged field by field, and naming every path an
// installation could never have written. The backup that this program's
// first format version wrote (tests/backup_v1/) must read as it is.
#include "backup/backup_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/files.h"
#include "digest/sha256.h"
#include "tests/test_support.h"

namespace vh {
namespace {

const std::string kV1Backup = std::string(VH_SOURCE_DIR) + "/tests/backup_v1/installed/.vhpatch-backup/";

const std::string kOriginal = sha256Hex("the original");
const std::string kInstalled = sha256Hex("the installed file");

// An archive's pieces: its header kept, members copied from the installed
// file, its tail kept.
PiecesFile archivePieces(const std::string& data) {
  return PiecesFile{"Forest/03/03.xarc", kOriginal, kInstalled,
                    {{false, 0, 4}, {true, 120, 4096}, {true, 8000, 12}, {false, 0, data.size() - 4}}, data};
}

Manifest fullManifest() {
  Manifest m;
  m.package = sha256Hex("package");
  m.date = "2026-12-08T16:31:00Z";
  m.files = {{"Forest/03/03.xarc", kOriginal, kInstalled, std::string(32, 'a') + ".pieces", 1390,
              FileStamp{1401, 1796783591560875144, -5, 10961265}, std::nullopt, sha256Hex("archive")},
             {"readme_cn.txt", "", kInstalled, std::string(32, 'b') + ".pieces", 0, FileStamp{12, 3, 4, 5},
              0x0badf00d, ""}};
  m.untouched = {{"Forest/04/04.xarc", FileStamp{9, 1, 2, 3}, sha256Hex("left")}};
  m.scenes = {{"Forest", sha256Hex("inputs")}, {"\xC4\xE3", sha256Hex("other")}};
  m.folders = {"fonts", "fonts/cn"};
  return m;
}

void expectSame(const PiecesFile& a, const PiecesFile& b) {
  EXPECT_EQ(a.path, b.path);
  EXPECT_EQ(a.original, b.original);
  EXPECT_EQ(a.installed, b.installed);
  EXPECT_EQ(a.steps, b.steps);
  EXPECT_EQ(a.data, b.data);
}

TEST(BackupRecords, PiecesAndManifestReadBackAsTheyWereWritten) {
  const std::string data = "HEADtail bytes";
  for (const PiecesFile& pieces : {archivePieces(data), PiecesFile{"readme_cn.txt", "", kInstalled, {}, {}}}) {
    const std::string text = piecesFileText(pieces);
    const auto read = readPiecesFile(text);
    ASSERT_TRUE(read) << read.fault().detail;
    expectSame(read.value(), pieces);
    EXPECT_EQ(piecesFileText(read.value()), text);
  }
  const Manifest manifest = fullManifest();
  const std::string text = manifestText(manifest);
  const auto read = readManifest(text);
  ASSERT_TRUE(read) << read.fault().detail;
  EXPECT_TRUE(read.value() == manifest);
  EXPECT_EQ(manifestText(read.value()), text);
  EXPECT_TRUE(text.starts_with("vhpatch backup 4\r\n"));
  EXPECT_NE(text.find("\r\ncrc=0badf00d\r\n>>\r\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with(">>\r\nend\r\n"));
  const auto empty = readManifest(manifestText(Manifest{}));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty.value() == Manifest{});
  // A game of thousands of archives: the text is made in several blocks.
  Manifest large = fullManifest();
  for (int i = 0; i < 3000; ++i) {
    const std::string n = std::to_string(i);
    large.files.push_back({"Scene" + n + "/1/1.xarc", kOriginal, kInstalled, sha256Hex(n).substr(0, 32) + ".pieces",
                           static_cast<uint64_t>(i), FileStamp{1, 2, 3, static_cast<uint64_t>(i)}, std::nullopt, ""});
  }
  const std::string largeText = manifestText(large);
  ASSERT_GT(largeText.size(), 3 * ManifestWriter::kBlock);
  const auto largeRead = readManifest(largeText);
  ASSERT_TRUE(largeRead) << largeRead.fault().detail;
  EXPECT_TRUE(largeRead.value() == large);
}

// The backup an installation of the first format left: every pieces file
// reads and is written again byte for byte; the manifest reads as version 1
// and its records survive the move to the current version.
TEST(BackupRecords, TheFirstFormatReadsAsItIs) {
  std::vector<std::string> names = listFolder(kV1Backup, true);
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 5u);
  for (const std::string& name : names) {
    if (name == kBackupManifest) continue;
    SCOPED_TRACE(name);
    EXPECT_TRUE(isPiecesName(name));
    const std::string text = test::readFile(kV1Backup + name);
    const auto pieces = readPiecesFile(text);
    ASSERT_TRUE(pieces) << pieces.fault().detail;
    EXPECT_EQ(piecesFileText(pieces.value()), text);
  }
  const auto manifest = readManifest(test::readFile(kV1Backup + kBackupManifest));
  ASSERT_TRUE(manifest) << manifest.fault().detail;
  const Manifest& m = manifest.value();
  EXPECT_EQ(m.version, 1);
  ASSERT_EQ(m.files.size(), 4u);
  EXPECT_EQ(m.files[0].path, "readme_cn.txt");
  EXPECT_EQ(m.files[0].original, "");
  EXPECT_EQ(m.files[2].path, "Inn/2/2.xarc");
  EXPECT_EQ(m.files[2].kept, 1704u);
  ASSERT_TRUE(m.files[2].stamp);
  EXPECT_EQ(m.files[2].stamp->size, 1631u);
  EXPECT_EQ(m.scenes.size(), 1u);
  const auto again = readManifest(manifestText(m));
  ASSERT_TRUE(again);
  EXPECT_EQ(again.value().files.size(), 4u);
}

// A record cut short must never read as a whole one: every prefix of a
// pieces file and of a current manifest is refused. A version-1 manifest
// has no end line, so a cut between its blocks reads as fewer blocks.
TEST(BackupRecords, EveryTruncationIsRefused) {
  for (const std::string& text : {piecesFileText(archivePieces("HEADtail")),
                                  piecesFileText(PiecesFile{"a.txt", "", kInstalled, {}, {}}),
                                  manifestText(fullManifest())}) {
    const bool pieces = text.starts_with("vhpatch pieces");
    for (size_t cut = 0; cut < text.size(); ++cut) {
      const std::string_view part(text.data(), cut);
      EXPECT_FALSE(pieces ? readPiecesFile(part).ok() : readManifest(part).ok()) << "cut at " << cut;
    }
  }
  const std::string v1 = test::readFile(kV1Backup + kBackupManifest);
  size_t whole = 0;
  for (size_t cut = 0; cut < v1.size(); ++cut) {
    const auto read = readManifest(std::string_view(v1.data(), cut));
    if (!read) continue;
    ++whole;
    EXPECT_TRUE(std::string_view(v1.data(), cut).ends_with(">>\r\n") || read.value().files.empty()) << cut;
    EXPECT_LT(read.value().files.size() + read.value().scenes.size(), 5u) << cut;
  }
  // After each header line (magic, package, date) and each of the four file
  // blocks.
  EXPECT_EQ(whole, 7u);
}

// Each field broken in turn, in text the writer made: `from` replaced by
// `to` once.
struct Damage {
  const char* what;
  std::string from, to;
};

void expectEachRefused(const std::string& text, const std::vector<Damage>& damages,
                       const std::function<bool(std::string_view)>& reads) {
  ASSERT_TRUE(reads(text));
  for (const Damage& d : damages) {
    std::string damaged = text;
    const size_t at = damaged.find(d.from);
    ASSERT_NE(at, std::string::npos) << d.what;
    damaged.replace(at, d.from.size(), d.to);
    EXPECT_FALSE(reads(damaged)) << d.what;
  }
}

TEST(BackupRecords, EachDamagedFieldOfAPiecesFileIsRefused) {
  const std::string text = piecesFileText(archivePieces("HEADtail"));
  expectEachRefused(
      text,
      {
          {"another format", "vhpatch pieces 1", "vhpatch pieces 2"},
          {"no path", "path=Forest/03/03.xarc\n", ""},
          {"two paths", "path=Forest/03/03.xarc\n", "path=Forest/03/03.xarc\npath=Forest/03/03.xarc\n"},
          {"no original", "original=" + kOriginal + "\n", ""},
          {"an original too short", "original=" + kOriginal, "original=" + kOriginal.substr(1)},
          {"an original in capitals", "original=" + kOriginal, "original=" + std::string(64, 'A')},
          {"no installed", "installed=" + kInstalled + "\n", ""},
          {"an empty installed", "installed=" + kInstalled, "installed="},
          {"an unknown key", "copy=120", "move=120"},
          {"a line without a key", "copy=120 4096\n", "copy\n"},
          {"a copy without a length", "copy=120 4096", "copy=120"},
          {"a copy with a sign", "copy=120 4096", "copy=+120 4096"},
          {"a copy of 20 digits", "copy=120 ", "copy=12345678901234567890 "},
          {"a keep that is no number", "keep=4\n", "keep=four\n"},
          {"a keep past the end", "keep=4\n", "keep=4000\n"},
          {"more kept bytes than keep says", "data\nHEAD", "data\nHEADX"},
          {"a CR at a line end", "installed=" + kInstalled + "\n", "installed=" + kInstalled + "\r\n"},
          {"steps for a file that was not there", "original=" + kOriginal, "original="},
      },
      [](std::string_view t) { return readPiecesFile(t).ok(); });
}

TEST(BackupRecords, EachDamagedFieldOfAManifestIsRefused) {
  const std::string text = manifestText(fullManifest());
  const std::string pieces = std::string(32, 'a') + ".pieces";
  expectEachRefused(
      text,
      {
          {"a newer version", "vhpatch backup 4", "vhpatch backup 5"},
          {"a crc in the second version", "vhpatch backup 4", "vhpatch backup 2"},
          {"archive inputs in the third version", "vhpatch backup 4", "vhpatch backup 3"},
          {"archive inputs that are no digest", "inputs=" + sha256Hex("archive"), "inputs=x"},
          {"archive inputs without their stamp", "stamp=1401 1796783591560875144 -5 10961265\r\n", ""},
          {"archive inputs twice", "inputs=" + sha256Hex("left") + "\r\n",
           "inputs=" + sha256Hex("left") + "\r\ninputs=" + sha256Hex("left") + "\r\n"},
          {"a crc of seven digits", "crc=0badf00d", "crc=badf00d"},
          {"a crc in capitals", "crc=0badf00d", "crc=0BADF00D"},
          {"a crc twice", "crc=0badf00d\r\n", "crc=0badf00d\r\ncrc=0badf00d\r\n"},
          {"a package that is no digest", "package=", "package=zz"},
          {"a second date", "date=2026-12-08T16:31:00Z\r\n", "date=x\r\ndate=y\r\n"},
          {"a date after a block", ">>\r\nuntouched=", ">>\r\ndate=x\r\nuntouched="},
          {"an unknown key in a file block", "kept=1390", "size=1390"},
          {"a repeated key in a file block", "kept=1390\r\n", "kept=1390\r\nkept=1390\r\n"},
          {"a file block without pieces", "pieces=" + pieces + "\r\n", ""},
          {"pieces that climb out", "pieces=" + pieces, "pieces=../" + pieces},
          {"a pieces name in capitals", "pieces=" + pieces, "pieces=" + std::string(32, 'A') + ".pieces"},
          {"two blocks with the same pieces", "pieces=" + std::string(32, 'b'), "pieces=" + std::string(32, 'a')},
          {"kept that is no number", "kept=1390", "kept=-1"},
          {"a stamp of three numbers", "stamp=1401 ", "stamp="},
          {"a stamp with a letter", "stamp=1401 ", "stamp=14O1 "},
          {"an untouched block without its stamp", "stamp=9 1 2 3\r\n", ""},
          {"scene inputs that are no digest", "inputs=" + sha256Hex("inputs"), "inputs=x"},
          {"a scene twice", "scene=\xC4\xE3", "scene=Forest"},
          {"a block end with no block", ">>\r\nend", ">>\r\n>>\r\nend"},
          {"a block never closed", ">>\r\nend", "end"},
          {"an empty line", "end\r\n", "\r\nend\r\n"},
          {"text after the end", "end\r\n", "end\r\nfolder=x\r\n>>\r\n"},
          {"a folder block with more keys", "folder=fonts\r\n", "folder=fonts\r\nstamp=1 2 3 4\r\n"},
          {"folders in the first version", "vhpatch backup 4\r\n", "vhpatch backup 1\r\n"},
      },
      [](std::string_view t) { return readManifest(t).ok(); });
}

// Every path no installation writes: the ways out of the game folder, into
// the backup, what Windows cannot hold, and any path not in its normal
// form, which would name a file the backup does not know by that name.
TEST(BackupRecords, EveryHostilePathMakesTheRecordDamaged) {
  std::vector<std::string> paths = test::kPathsOutsideTheFolder;
  for (const char* unusual : {"a//b", "./a", "a\\b", "a/", "a/./b", "/a"}) paths.push_back(unusual);
  const std::string pieces = std::string(32, 'c') + ".pieces";
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    EXPECT_NE(pathInFolder(path), std::optional<std::string>(path));
    EXPECT_FALSE(readPiecesFile(piecesFileText(PiecesFile{path, "", kInstalled, {}, {}})).ok());
    for (const std::string& block :
         {"file=" + path + "\r\noriginal=\r\ninstalled=" + kInstalled + "\r\npieces=" + pieces + "\r\nkept=0\r\n",
          "untouched=" + path + "\r\nstamp=1 2 3 4\r\n", "folder=" + path + "\r\n"}) {
      EXPECT_FALSE(readManifest("vhpatch backup 2\r\n" + block + ">>\r\nend\r\n").ok()) << block;
    }
  }
  EXPECT_FALSE(isPiecesName("0.pieces"));
  EXPECT_FALSE(isPiecesName("../" + std::string(29, 'a') + ".pieces"));
  EXPECT_TRUE(isPiecesName(pieces));
}

}  // namespace
}  // namespace vh
