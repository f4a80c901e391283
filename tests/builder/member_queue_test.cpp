#include "builder/member_queue.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/stream.h"
#include "digest/sha256.h"
#include "support/zip.h"
#include "tests/test_support.h"

namespace vh {
namespace {

// A member as a test adds it: bytes in memory, or a file under the name
// (which the queue packs under its path); `unreadable` names a path that
// is no file, and adds nothing.
struct Added {
  std::string name;
  size_t size = 0;
  bool asFile = false;
  bool unreadable = false;
};

MemberBytes bytesOf(const std::string& name, size_t size) {
  MemberBytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(name[i % name.size()] + i / name.size());
  return bytes;
}

// A package written through a queue, and what can be seen of it.
class QueuedPackage {
 public:
  explicit QueuedPackage(const test::TempDir& dir) : dir_(dir), path_(dir / "patch.dat") {
    EXPECT_EQ(writer_.OpenZip(path_, 0), 1);
  }

  ZipWriter& writer() { return writer_; }

  void add(MemberQueue& queue, const Added& member) {
    if (!member.asFile) {
      queue.addBytes(member.name, bytesOf(member.name, member.size));
      return;
    }
    const std::string path = dir_ / member.name;
    if (member.unreadable) {
      std::filesystem::create_directories(path);
    } else {
      const MemberBytes bytes = bytesOf(path, member.size);
      test::writeFile(path, std::string(bytes.begin(), bytes.end()));
    }
    queue.addFile(path);
  }

  // The members as the package holds them, in the order of their local
  // headers, each checked against the bytes it was given.
  std::vector<std::string> closedInFileOrder() {
    writer_.CloseZip("");
    auto stream = FileStream::open(path_, FileMode::Read);
    auto list = TZipFileList::create(stream.get(), 0, 0);
    std::vector<SZipFileEntryPtr> entries = list->FileList;
    std::sort(entries.begin(), entries.end(),
              [](const SZipFileEntryPtr& a, const SZipFileEntryPtr& b) { return a->fileDataPosition < b->fileDataPosition; });
    ZipReader reader;
    EXPECT_EQ(reader.OpenZip(path_), 1);
    std::vector<std::string> names;
    for (const SZipFileEntryPtr& entry : entries) {
      names.push_back(entry->zipFileName);
      const auto member = reader.ExtractFile(entry->zipFileName, 1, "");
      EXPECT_NE(member, nullptr) << entry->zipFileName;
      if (!member) continue;
      // A file is packed under its path, and its bytes were made from it.
      const MemberBytes expected = bytesOf(entry->zipFileName, static_cast<size_t>(member->size()));
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), member->data())) << entry->zipFileName;
    }
    return names;
  }

 private:
  const test::TempDir& dir_;
  const std::string path_;
  ZipWriter writer_;
};

TEST(MemberQueue, WritesMembersInTheOrderTheyCameOnAnyNumberOfWorkers) {
  const std::vector<Added> members = {
      {"b.lst", 10},           {"a.trz", 70000, true}, {"gone", 0, true, true}, {"z.bin", 0},
      {"m.bin", 300000, true}, {"c.lst", 5},           {"d.lst", 5},            {"e.lst", 5},
      {"f.lst", 5},            {"g.lst", 5},           {"h.lst", 5},            {"i.lst", 5},
  };
  for (int threads : {1, 2, 3, 8}) {
    SCOPED_TRACE(threads);
    const test::TempDir dir;
    QueuedPackage package(dir);
    std::vector<std::string> expected;
    {
      MemberQueue queue(package.writer(), threads, nullptr);
      for (const Added& member : members) {
        package.add(queue, member);
        if (!member.unreadable) expected.push_back(member.asFile ? dir / member.name : member.name);
      }
      queue.finish();
      EXPECT_EQ(queue.written(), static_cast<int>(expected.size()));
      EXPECT_EQ(queue.reused(), 0);
    }
    EXPECT_FALSE(package.writer().failed());
    EXPECT_EQ(package.closedInFileOrder(), expected);
  }
}

TEST(MemberQueue, HoldsNoMoreMembersOrBytesThanItsLimits) {
  struct Case {
    const char* what;
    int threads;
    uint64_t weightLimit;
    std::vector<size_t> sizes;
    MemberQueue::Held most;  // with workers at most: their writing thread may keep the queue short
  };
  const std::vector<size_t> hundred(100, 10);
  const Case cases[] = {
      // One at a time: written as soon as it is added.
      {"one thread", 1, MemberQueue::kWeightLimit, hundred, {1, 10}},
      // Sixteen members in flight for each worker.
      {"two workers", 2, MemberQueue::kWeightLimit, hundred, {32, 320}},
      {"three workers", 3, MemberQueue::kWeightLimit, hundred, {48, 480}},
      // Three of 30 bytes fit 100; a fourth would not.
      {"bytes before members", 2, 100, std::vector<size_t>(20, 30), {3, 90}},
      {"exactly the limit", 2, 90, std::vector<size_t>(20, 30), {3, 90}},
      // A member over the limit goes, but alone.
      {"a member over the limit", 2, 100, {30, 30, 500, 30}, {2, 500}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const test::TempDir dir;
    QueuedPackage package(dir);
    MemberQueue queue(package.writer(), c.threads, nullptr, c.weightLimit);
    for (size_t i = 0; i < c.sizes.size(); ++i) package.add(queue, {"m" + std::to_string(i), c.sizes[i]});
    queue.finish();
    EXPECT_LE(queue.mostHeld().members, c.most.members);
    EXPECT_LE(queue.mostHeld().bytes, c.most.bytes);
    if (c.threads == 1) {
      EXPECT_EQ(queue.mostHeld().members, c.most.members);
    }
    // Every member was held once, the largest too, even over the limit.
    EXPECT_GE(queue.mostHeld().bytes, *std::max_element(c.sizes.begin(), c.sizes.end()));
    EXPECT_EQ(queue.written(), static_cast<int>(c.sizes.size()));
  }
}

TEST(MemberQueue, AWorkersExceptionComesOutOnTheCallingThread) {
  struct Case {
    const char* what;
    size_t members;
    DeflatePieces pieces;
  };
  // deflate refuses a level beyond 9 on the worker, which throws; the
  // queue hands that to the thread that adds or finishes, and its
  // workers still end when it goes.
  const Case cases[] = {
      {"fewer than the workers hold: out of finish", 3, {}},
      {"more than they hold: out of an add", 40, {}},
      {"out of the pieces of a member", 3, {16, 64}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const test::TempDir dir;
    QueuedPackage package(dir);
    package.writer().SetCompressionLevel(42);
    std::string message;
    try {
      MemberQueue queue(package.writer(), 2, nullptr, MemberQueue::kWeightLimit, c.pieces);
      for (size_t i = 0; i < c.members; ++i) package.add(queue, {"m" + std::to_string(i), 100});
      queue.finish();
    } catch (const std::runtime_error& error) {
      message = error.what();
    }
    EXPECT_EQ(message, "deflateInit2 failed");
  }
}

// The stored stream of every member, by name.
std::map<std::string, std::string> storedStreams(const std::string& path) {
  ZipReader reader;
  EXPECT_EQ(reader.OpenZip(path), 1);
  std::map<std::string, std::string> streams;
  for (int i = 0; i < reader.getFileCount(); ++i) {
    const std::string name = reader.getFileInfo(i)->zipFileName;
    std::optional<PackedMember> member = reader.LocatePacked(name);
    EXPECT_TRUE(member && readStoredBytes(path, *member)) << name;
    if (member) streams[name] = std::string(member->compressed.begin(), member->compressed.end());
  }
  return streams;
}

TEST(MemberQueue, ALargeMemberGoesInPiecesTheSameOnAnyNumberOfWorkers) {
  // From 200,000 bytes on, in pieces of 50,000: the middle file goes in
  // five, its neighbours whole.
  const DeflatePieces pieces{50000, 200000};
  // The file's bytes are made from its path, which differs from run to
  // run; the members in memory are the same bytes every time.
  const std::vector<Added> members = {{"small.trz", 70000},      {"large.ttf", 230001}, {"just-below.bin", 199999},
                                      {"file.ttf", 210000, true}, {"file.trz", 100, true}, {"d.lst", 5}};
  std::map<int, std::map<std::string, std::string>> byThreads;
  for (int threads : {1, 2, 3, 8}) {
    SCOPED_TRACE(threads);
    const test::TempDir dir;
    QueuedPackage package(dir);
    std::vector<MemberQueue::Written> sources;
    {
      MemberQueue queue(package.writer(), threads, nullptr, MemberQueue::kWeightLimit, pieces);
      for (const Added& member : members) package.add(queue, member);
      queue.finish();
      // A file's record says how it went, for the next build to find it
      // again.
      ASSERT_EQ(queue.sources().size(), 2u);
      EXPECT_EQ(queue.sources()[0].record.pieced, threads > 1);
      EXPECT_FALSE(queue.sources()[1].record.pieced);
      EXPECT_EQ(queue.sources()[0].streamKnown, threads > 1);
      EXPECT_EQ(queue.sources()[0].record.size, 210000u);
      sources = queue.sources();
    }
    // Every member, the large one too, reads back as it was given.
    EXPECT_EQ(package.closedInFileOrder().size(), members.size());
    // Where the queue says it put a stream it knew is where the package
    // holds it.
    ZipReader reader;
    ASSERT_EQ(reader.OpenZip(dir / "patch.dat"), 1);
    for (const MemberQueue::Written& source : sources) {
      if (!source.streamKnown) continue;
      const std::optional<PackedMember> stored = reader.LocatePacked(source.name);
      ASSERT_TRUE(stored.has_value()) << source.name;
      EXPECT_EQ(source.record.storedAt, stored->storedAt) << source.name;
      EXPECT_EQ(source.record.storedSize, stored->storedSize) << source.name;
      EXPECT_EQ(source.record.crc, stored->crc) << source.name;
      // The stream's CRC, summed from its pieces', and the source's digest,
      // taken while it was read in pieces, are those of the whole.
      PackedMember stream = *stored;
      ASSERT_TRUE(readStoredBytes(dir / "patch.dat", stream));
      EXPECT_EQ(source.record.storedCrc, crc32_z(crc32(0L, Z_NULL, 0), stream.compressed.data(), stream.compressed.size()))
          << source.name;
      const MemberBytes bytes = bytesOf(source.name, static_cast<size_t>(source.record.size));
      EXPECT_EQ(source.record.digest, sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
          << source.name;
    }
    for (auto& [name, stream] : storedStreams(dir / "patch.dat")) {
      if (name.find("file.") == std::string::npos) byThreads[threads][name] = std::move(stream);
    }
  }
  for (int threads : {3, 8}) EXPECT_TRUE(byThreads[threads] == byThreads[2]) << threads << " workers";
  for (const char* name : {"small.trz", "just-below.bin", "d.lst"}) {
    EXPECT_TRUE(byThreads[2][name] == byThreads[1][name]) << name << " is as minizip deflates it";
  }
  EXPECT_TRUE(byThreads[2]["large.ttf"] != byThreads[1]["large.ttf"]);
}

}  // namespace
}  // namespace vh
