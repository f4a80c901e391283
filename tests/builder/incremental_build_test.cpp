// Building patch.dat with members deflated on worker threads, and again
// with the members of the package being replaced copied from it: either
// way the package must be the one a plain build from scratch makes, byte
// for byte, apart from the time the generated lists are stamped with.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "builder/patch_maker.h"
#include "builder/source_digests.h"
#include "common/local_file_system.h"
#include "fixtures/sample_game.h"
#include "tests/fake_file_system.h"
#include "tests/recording_host.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

// The members stamped with the time of the build rather than a file's.
const std::set<std::string> kListMembers = {"patchscene.lst", "extra.lst", "addon.lst"};

uint32_t u16At(const std::string& bytes, size_t at) {
  return static_cast<uint8_t>(bytes.at(at)) | static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(at + 1))) << 8;
}
uint32_t u32At(const std::string& bytes, size_t at) { return u16At(bytes, at) | u16At(bytes, at + 2) << 16; }

// The package with the MS-DOS time and date of the list members zeroed, in
// their local headers and in the central directory alike.
std::string withListDatesMasked(std::string bytes) {
  const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
  if (end == std::string::npos) {
    ADD_FAILURE() << "no end of central directory";
    return bytes;
  }
  const uint32_t count = u16At(bytes, end + 10);      // entries in the directory
  size_t entry = u32At(bytes, end + 16);               // the directory's offset
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(u32At(bytes, entry), 0x02014B50u) << "central header " << i;
    const uint32_t nameLength = u16At(bytes, entry + 28);
    const std::string name = bytes.substr(entry + 46, nameLength);
    const uint32_t local = u32At(bytes, entry + 42);
    if (kListMembers.count(name)) {
      bytes.replace(entry + 12, 4, 4, '\0');  // central: time at 12, date at 14
      bytes.replace(local + 10, 4, 4, '\0');  // local: time at 10, date at 12
    }
    entry += 46 + nameLength + u16At(bytes, entry + 30) + u16At(bytes, entry + 32);
  }
  return bytes;
}

// "same" for equal packages, otherwise where they part, so that a failure
// names an offset instead of printing two packages.
std::string comparePackages(const std::string& actual, const std::string& expected) {
  const auto parted = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  if (parted.first == actual.end() && parted.second == expected.end()) return "same";
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
         ", first difference at byte " + std::to_string(parted.first - actual.begin());
}

struct BuildCount {
  int written = -1;
  int reused = -1;
  int proved = -1;   // of those reused, proved the same by their records alone
  int stamped = -1;  // of those, by their stamps without being read
  bool again = false;  // it began again after a stream copied in blocks proved different
  KnownStreams streams;  // those the build says it wrote
};

// The local disk with every file's change time an hour back, as a tree
// looks that was edited well before its build: its stamps have settled.
// A write still moves a file's change time, an hour back from the clock.
class AnHourAgo final : public FileSystem {
 public:
  FileStatus status(const std::string& path) override {
    FileStatus status = local_.status(path);
    status.stamp.changedNs -= 3600LL * 1'000'000'000;
    return status;
  }
  bool isLink(const std::string& path) override { return local_.isLink(path); }
  std::string linkTarget(const std::string& path) override { return local_.linkTarget(path); }
  std::unique_ptr<ReadableFile> openRegular(const std::string& path) override { return local_.openRegular(path); }
  std::vector<std::string> list(const std::string& folder) override { return local_.list(folder); }
  std::unique_ptr<NewFile> create(const std::string& target) override { return local_.create(target); }
  bool replace(NewFile& file, FolderSync sync) override { return local_.replace(file, sync); }
  bool rename(const std::string& from, const std::string& to) override { return local_.rename(from, to); }
  bool exchange(const std::string& one, const std::string& other) override { return local_.exchange(one, other); }
  void syncFolder(const std::string& folder) override { local_.syncFolder(folder); }
  bool syncFileSystem(const std::string& folder) override { return local_.syncFileSystem(folder); }
  bool makeFolder(const std::string& path) override { return local_.makeFolder(path); }
  bool removeFolder(const std::string& path) override { return local_.removeFolder(path); }
  bool removeFile(const std::string& path) override { return local_.removeFile(path); }

 private:
  LocalFileSystem local_;
};

// The members of a package as it stores them: the deflate stream and what
// the directory says of it, by name.
std::map<std::string, PackedMember> storedMembers(const std::string& path) {
  ZipReader reader;
  EXPECT_EQ(reader.OpenZip(path), 1) << path;
  std::map<std::string, PackedMember> members;
  for (int i = 0; i < reader.getFileCount(); ++i) {
    const std::string name = reader.getFileInfo(i)->zipFileName;
    std::optional<PackedMember> member = reader.LocatePacked(name);
    EXPECT_TRUE(member && readStoredBytes(path, *member)) << name;
    if (member) members[name] = std::move(*member);
  }
  return members;
}

bool sameStream(const PackedMember& a, const PackedMember& b) {
  return a.compressed == b.compressed && a.crc == b.crc && a.size == b.size && a.flag == b.flag &&
         a.internalAttributes == b.internalAttributes;
}

// The font of the working tree is the one member large enough to go in
// pieces.
constexpr const char* kLarge = "extra/font.ttf";
const DeflatePieces kPieces{256u << 10, 512u << 10};
// Small enough that the font's stream is copied in blocks, several of them.
constexpr uint64_t kCopiedInBlocks = 64u << 10;
const std::string kDigests = std::string("patch.dat") + tPatchMaker::kDigestSuffix;

class IncrementalBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    SampleGameOptions options;
    options.scenes = 4;
    options.subs = 2;
    options.records = 12;
    options.seed = 16;
    writeSampleGame(dir.path(), options);
    tree = dir / "worktree";
    // A font-sized file deflates in many blocks and, above the workers'
    // window, keeps the later members waiting; half of it repeats so that
    // deflate has matches to find. An empty file deflates to the bare end.
    std::mt19937 random(7);
    std::string font(1 << 20, '\0');
    for (size_t i = 0; i < font.size(); ++i) font[i] = static_cast<char>(i % 2 ? random() : i / 512);
    writeFile(tree + "/extra/font.ttf", font);
    writeFile(tree + "/extra/empty.txt", "");
    here = fs::current_path();
    fs::current_path(tree);
  }
  void TearDown() override { fs::current_path(here); }

  // Builds `package` in the working tree; what the build said of its
  // members. `settled`: with every stamp an hour old.
  BuildCount build(const std::string& package, int threads, bool reuse, bool settled = false) {
    TestServices run;
    RecordingHost& desktop = run.host;
    AnHourAgo aged;
    FileSystem* instead = settled ? &aged : filesInstead;
    tPatchMaker maker(instead ? Services{run.host, run.host, *instead, *run.registry, run.home} : run.services());
    maker.threads = threads;
    maker.reusePrevious = reuse;
    maker.pieces = kPieces;
    maker.copiedInBlocks = kCopiedInBlocks;
    EXPECT_EQ(maker.Create(package), 1) << testing::PrintToString(desktop.messages());
    BuildCount count;
    count.streams = maker.writtenStreams();
    for (const std::string& line : desktop.texts(RecordingHost::Kind::Debug)) {
      count.again = count.again || line.find("; building again") != std::string::npos;
      std::sscanf(line.c_str(),
                  "packed %d members, %d of them as the previous package held them, %d proved the same by their "
                  "records, %d of those",
                  &count.written, &count.reused, &count.proved, &count.stamped);
    }
    return count;
  }

  // A package from scratch on as many threads: with one, by minizip alone
  // on this thread, as the builder always made it.
  std::string scratch(int threads) {
    // Into a new file, not over the spare an earlier one left.
    fs::remove(std::string("scratch.dat") + tPatchMaker::kSpareSuffix);
    build("scratch.dat", threads, false);
    return withListDatesMasked(readFile("scratch.dat"));
  }

  // The file system unsettled builds go through, when not the local one.
  FileSystem* filesInstead = nullptr;
  // Every build syncs its package to the disk.
  test::TempDirsInMemory fast;
  test::TempDir dir;
  std::string tree;
  fs::path here;
};

TEST_F(IncrementalBuild, MembersDeflatedOnWorkersAreTheBytesMinizipMakesButTheLargeOne) {
  const std::string onWorkers = scratch(2);
  for (const int threads : {2, 3, 8}) {
    const BuildCount count = build("patch.dat", threads, false);
    EXPECT_EQ(count.reused, 0);
    EXPECT_EQ(count.written, static_cast<int>(test::packageMembers("patch.dat").size()));
    // The large member's stream is the same on any number of workers.
    EXPECT_EQ(comparePackages(withListDatesMasked(readFile("patch.dat")), onWorkers), "same") << threads << " threads";
  }
  build("minizip.dat", 1, false);
  const auto ours = storedMembers("patch.dat");
  const auto theirs = storedMembers("minizip.dat");
  ASSERT_EQ(ours.size(), theirs.size());
  ASSERT_TRUE(ours.count(kLarge));
  for (const auto& [name, member] : ours) {
    ASSERT_TRUE(theirs.count(name)) << name;
    EXPECT_EQ(sameStream(member, theirs.at(name)), name != kLarge) << name;
  }
  EXPECT_EQ(test::packageMembers("patch.dat"), test::packageMembers("minizip.dat"));
  // The members are really deflated, not stored.
  EXPECT_LT(fs::file_size("patch.dat"), fs::file_size(kLarge));
}

void setModified(const std::string& path, std::time_t when) {
  const utimbuf times{when, when};
  ASSERT_EQ(utime(path.c_str(), &times), 0) << path;
}

// The previous package written by another zip tool, with the working
// tree's files under the names the builder gives them: the same bytes, but
// streams, attributes and extra fields of that tool's own.
void rewrittenByZip(const std::string& previous, const std::string& options) {
  std::remove(previous.c_str());
  const auto zipped = test::runCommand("zip -q -r " + options + " '" + previous + "' trans extra addon");
  EXPECT_EQ(zipped.status, 0) << zipped.err;
}

// Rewrites every record line of the digest file beside the package.
void rewriteRecords(const std::function<std::string(const std::string& line)>& rewrite) {
  std::istringstream lines(readFile(kDigests));
  std::string text, line;
  std::getline(lines, line);
  text = line + "\n";
  while (std::getline(lines, line)) text += rewrite(line) + "\n";
  writeFile(kDigests, text);
}

// The record line with its field `index` (0 the size, 5 the digest, 7 the
// stream's offset) replaced.
std::string withField(const std::string& line, size_t index, const std::string& value) {
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) start = line.find(' ', start) + 1;
  const size_t end = line.find(' ', start);
  return line.substr(0, start) + value + line.substr(end);
}

constexpr int kAll = -1;   // every source
constexpr int kSome = -2;  // some but not all of the sources

struct Change {
  const char* what;
  std::function<void(const std::string& previous)> make;
  // Members the new build deflates rather than copies; kAll for all of them.
  int deflated;
  // Sources it does not prove unchanged by their records: changed, new,
  // or with a record that does not hold; kAll or kSome.
  int unproved;
  // Built with settled stamps, and the sources among those proved whose
  // stamp moved, so that their digest proved them.
  bool settled = true;
  int digested = 0;
  // A stream the writer copied in blocks proved different, and the build
  // began again.
  bool again = false;
};

void PrintTo(const Change& change, std::ostream* out) { *out << change.what; }

const Change kChanges[] = {
    {"nothing", [](const std::string&) {}, 0, 0},
    {"one TRZ file changed",
     [](const std::string&) {
       std::string text = readFile("trans/Global.trz");
       text.replace(text.find("value=") + 6, 0, "X");
       writeFile("trans/Global.trz", text);
     },
     1, 1},
    // Its stamp no longer matches its record: its digest proves it.
    {"a file touched but not changed",
     [](const std::string&) { setModified("trans/Global.trz", std::time(nullptr) + 3600); }, 0, 0, true, 1},
    {"a file touched but not changed, stamps not settled",
     [](const std::string&) { setModified("trans/Global.trz", std::time(nullptr) + 3600); }, 0, 0, false},
    // A changed file that keeps its size, time and all: only its CRC tells.
    {"one byte of the font changed behind the times",
     [](const std::string&) {
       struct stat before {};
       ASSERT_EQ(stat("extra/font.ttf", &before), 0);
       std::string font = readFile("extra/font.ttf");
       font[font.size() / 2] = static_cast<char>(font[font.size() / 2] ^ 1);
       writeFile("extra/font.ttf", font);
       setModified("extra/font.ttf", before.st_mtime);
     },
     1, 1},
    {"a TRZ file removed", [](const std::string&) { std::remove("trans/Global.trz"); }, 0, 0},
    {"an extra file added", [](const std::string&) { writeFile("extra/new.txt", "new"); }, 2, 1},  // and extra.lst
    // The digest file still vouches for the bytes, but not for the stream.
    {"a member of the previous package damaged",
     [](const std::string& previous) { test::damageMember(previous, kLarge); }, 1, 1, true, 0, true},
    {"the large member of the previous package damaged in its last piece",
     [](const std::string& previous) {
       std::string bytes = readFile(previous);
       const PackedMember stored = storedMembers(previous).at(kLarge);
       const size_t at = stored.storedAt + stored.storedSize - 10;
       bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
       writeFile(previous, bytes);
     },
     1, 1, true, 0, true},
    {"the previous package missing", [](const std::string& previous) { std::remove(previous.c_str()); }, kAll, kAll},
    {"the previous package no zip file",
     [](const std::string& previous) { writeFile(previous, std::string(4096, 'P')); }, kAll, kAll},
    {"the previous package cut short",
     [](const std::string& previous) { fs::resize_file(previous, fs::file_size(previous) / 2); }, kAll, kAll},
    {"the previous package written by zip -1", [](const std::string& previous) { rewrittenByZip(previous, "-1"); },
     kAll, kAll},
    {"the previous package written by zip at its default level",
     [](const std::string& previous) { rewrittenByZip(previous, "-6"); }, kAll, kAll},
    {"the previous package written by zip without extra fields",
     [](const std::string& previous) { rewrittenByZip(previous, "-6 -X"); }, kAll, kAll},
    // Without the digest file, or with one that does not hold, every
    // source is inflated to prove it, and still reused.
    {"the digest file missing", [](const std::string&) { std::remove(kDigests.c_str()); }, 0, kAll},
    {"the digest file cut in half",
     [](const std::string&) { fs::resize_file(kDigests, fs::file_size(kDigests) / 2); }, 0, kSome},
    {"the digest file of another format",
     [](const std::string&) { writeFile(kDigests, "vhpatch source digests 9" + readFile(kDigests).substr(24)); }, 0,
     kAll},
    {"the digest file a folder",
     [](const std::string&) {
       std::remove(kDigests.c_str());
       fs::create_directory(kDigests);
     },
     0, kAll},
    // A settled stamp vouches for the file without its digest being read;
    // a stamp not settled does not.
    {"the digest file naming other digests",
     [](const std::string&) { rewriteRecords([](const std::string& line) { return withField(line, 5, std::string(64, 'a')); }); },
     0, kAll, false},
    {"the digest file naming other digests, stamps settled",
     [](const std::string&) { rewriteRecords([](const std::string& line) { return withField(line, 5, std::string(64, 'a')); }); },
     0, 0},

    {"the digest file placing every stream a byte later",
     [](const std::string&) {
       rewriteRecords([](const std::string& line) {
         size_t start = 0;
         for (int field = 0; field < 7; ++field) start = line.find(' ', start) + 1;
         return withField(line, 7, std::to_string(std::stoull(line.substr(start)) + 1));
       });
     },
     0, kAll},
};

class IncrementalChange : public IncrementalBuild, public ::testing::WithParamInterface<std::tuple<Change, int>> {};

TEST_P(IncrementalChange, GivesThePackageABuildFromScratchGives) {
  const auto& [change, threads] = GetParam();
  build("patch.dat", threads, true, change.settled);
  const size_t sources = SourceDigests::read(test::localFiles(), kDigests).size();
  change.make("patch.dat");
  const BuildCount count = build("patch.dat", threads, true, change.settled);
  EXPECT_EQ(comparePackages(withListDatesMasked(readFile("patch.dat")), scratch(threads)), "same");
  ASSERT_GT(count.written, 0);
  EXPECT_EQ(count.written - count.reused, change.deflated == kAll ? count.written : change.deflated);
  // Every source the build packed is recorded for the next one, unless a
  // folder stands where the records go.
  const int recorded = static_cast<int>(SourceDigests::read(test::localFiles(), kDigests).size());
  EXPECT_GT(sources, 0u);
  EXPECT_EQ(recorded, fs::is_directory(kDigests) ? 0 : count.written - static_cast<int>(kListMembers.size()));
  if (change.unproved == kAll) {
    EXPECT_EQ(count.proved, 0);
  } else if (change.unproved == kSome) {
    EXPECT_GT(count.proved, 0);
    EXPECT_LT(count.proved, recorded);
  } else {
    EXPECT_EQ(count.proved, count.written - static_cast<int>(kListMembers.size()) - change.unproved);
  }
  // Unread, the sources whose settled stamps held.
  EXPECT_EQ(count.stamped, change.settled ? count.proved - change.digested : 0);
  EXPECT_EQ(count.again, change.again);
  // The package still reads back whole, member by member.
  EXPECT_EQ(test::packageMembers("patch.dat"), test::packageMembers("scratch.dat"));
  // Each stream the build says it wrote is the package's, as an
  // installation that follows checks it by: where the member's stream
  // lies, its length and CRC-32, and what it inflates to. With workers the
  // writer knows every stream, the font's among them, copied or deflated.
  const auto stored = storedMembers("patch.dat");
  for (const auto& [name, known] : count.streams) {
    SCOPED_TRACE(name);
    const auto member = stored.find(name);
    ASSERT_NE(member, stored.end());
    const MemberBytes& stream = member->second.compressed;
    EXPECT_EQ(known.storedAt, member->second.storedAt);
    EXPECT_EQ(known.storedSize, stream.size());
    EXPECT_EQ(known.storedCrc, crc32(0L, stream.data(), static_cast<uInt>(stream.size())));
    EXPECT_EQ(known.size, member->second.size);
    EXPECT_EQ(known.crc, member->second.crc);
  }
  if (threads > 1) {
    EXPECT_EQ(count.streams.count(kLarge), 1u);
  }
}

// The package a build replaces is kept as the spare that the next build
// writes over in place, longer or shorter than the new one: its blocks are
// neither freed nor taken anew, and the package is the one a build from
// scratch makes. A link is no spare. Where two files cannot be swapped (as
// on Windows) the package is renamed over the old one, and no spare stays.
TEST_F(IncrementalBuild, ThePackageReplacedIsTheFileTheNextBuildWritesOver) {
  const std::string spare = std::string("patch.dat") + tPatchMaker::kSpareSuffix;
  const auto identity = [](const std::string& path) { return test::localFiles().status(path).stamp.identity; };
  std::mt19937 random(3);
  const std::string original = readFile("trans/Global.trz");
  const auto change = [&](size_t length) {
    std::string text = original;
    std::string noise(length, '\0');
    for (char& c : noise) c = static_cast<char>('a' + random() % 26);
    text.replace(text.find("value=") + 6, 0, noise);
    writeFile("trans/Global.trz", text);
  };
  test::FakeFileSystem noSwap;
  noSwap.noExchange = true;
  build("patch.dat", 2, true);
  EXPECT_FALSE(fs::exists(spare)) << "nothing was replaced";
  // Long, then short, so that the third build writes a shorter package
  // over a longer one.
  for (const size_t length : {60000u, 10u, 100u}) {
    SCOPED_TRACE(length);
    const std::string previous = readFile("patch.dat");
    const auto spareFile = identity(spare);
    change(length);
    build("patch.dat", 2, true);
    EXPECT_EQ(comparePackages(withListDatesMasked(readFile("patch.dat")), scratch(2)), "same");
    EXPECT_TRUE(readFile(spare) == previous);
    if (spareFile != 0) {
      EXPECT_EQ(identity("patch.dat"), spareFile) << "the package is not the spare written over";
    }
    EXPECT_FALSE(fs::exists("patch.dat.building"));
  }
  // Nor is a spare that has another name, as an old package kept by a
  // hard link does.
  const std::string kept = readFile(spare);
  fs::create_hard_link(spare, dir / "kept.dat");
  change(20);
  build("patch.dat", 2, true);
  EXPECT_TRUE(readFile(dir / "kept.dat") == kept) << "a package kept under another name was written over";
  EXPECT_EQ(comparePackages(withListDatesMasked(readFile("patch.dat")), scratch(2)), "same");
  writeFile(dir / "elsewhere", "not the package's");
  fs::remove(spare);
  fs::create_symlink(dir / "elsewhere", spare);
  change(10);
  build("patch.dat", 2, true);
  EXPECT_EQ(readFile(dir / "elsewhere"), "not the package's");
  EXPECT_EQ(comparePackages(withListDatesMasked(readFile("patch.dat")), scratch(2)), "same");
  EXPECT_FALSE(fs::is_symlink(spare));

  // Nor is the unfinished package's name followed where it is a link: the
  // build fails and the file it leads to stays as it was.
  fs::create_symlink(dir / "elsewhere", "patch.dat.building");
  {
    TestServices run;
    tPatchMaker maker(run.services());
    EXPECT_EQ(maker.Create("patch.dat"), 0);
    EXPECT_EQ(run.host.texts(RecordingHost::Kind::Message), std::vector<std::string>{"failed to write:patch.dat"});
  }
  EXPECT_EQ(readFile(dir / "elsewhere"), "not the package's");
  EXPECT_FALSE(fs::exists(fs::symlink_status("patch.dat.building")));

  filesInstead = &noSwap;
  change(10);
  build("patch.dat", 2, true);
  EXPECT_EQ(comparePackages(withListDatesMasked(readFile("patch.dat")), scratch(2)), "same");
  EXPECT_FALSE(fs::exists(spare)) << "the spare was written over and renamed";
  EXPECT_FALSE(fs::exists("patch.dat.building"));
}

TEST_F(IncrementalBuild, ALargeMemberIsReusedOnlyAsThisBuildWouldDeflateIt) {
  // One thread writes minizip's stream of the large member, more write it
  // in pieces: a build that changes between the two deflates it afresh,
  // whether the digest file tells how it went or inflating has to.
  struct Case {
    int before;
    int after;
    bool records;
  };
  const Case cases[] = {{1, 3, true}, {3, 1, true}, {1, 2, false}, {2, 1, false}, {2, 3, true}, {3, 2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.before) + " then " + std::to_string(c.after) + " threads" +
                 (c.records ? "" : ", no digest file"));
    build("patch.dat", c.before, true);
    if (!c.records) std::remove(kDigests.c_str());
    const BuildCount count = build("patch.dat", c.after, true);
    EXPECT_EQ(comparePackages(withListDatesMasked(readFile("patch.dat")), scratch(c.after)), "same");
    const bool sameWay = (c.before > 1) == (c.after > 1);
    EXPECT_EQ(count.written - count.reused, sameWay ? 0 : 1);
    // The generated lists have no source file to record; inflating proves
    // them.
    EXPECT_EQ(count.proved, c.records ? count.reused - static_cast<int>(kListMembers.size()) : 0);
    std::remove("patch.dat");
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, IncrementalChange,
                         ::testing::Combine(::testing::ValuesIn(kChanges), ::testing::Values(1, 3)));

}  // namespace
}  // namespace vh
