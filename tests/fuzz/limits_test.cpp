// Sizes and kinds of file that come from outside the program: refused with a
// message before anything is allocated or read, never blocked on.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "common/files.h"
#include "common/stream.h"
#include "package/patch.h"
#include "support/wine_hive.h"
#include "tests/fake_file_system.h"
#include "tests/recording_host.h"
#include "tests/test_support.h"
#include "tests/xmg/xmg_fixture.h"

namespace vh {
namespace {

// A pipe with no writer blocks whoever opens it for reading; /dev/zero
// never ends. The registry file and the package, which sit where anyone may
// have put anything, are refused at once when they are either.
class NotAFileTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string which = GetParam();
    if (which == "pipe") {
      path = dir / "pipe";
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    } else {
      path = which;
    }
  }
  test::TempDir dir;
  std::string path;
};

TEST_P(NotAFileTest, IsRefusedWithoutReading) {
  const Result<HiveText> hive = readHiveFile(test::localFiles(), path);
  ASSERT_FALSE(hive.ok());
  EXPECT_EQ(hive.fault(), (Fault{FaultKind::CannotOpen, path + " is not a regular file"}));

  RecordingHost recording;
  tPatch patch(recording);
  EXPECT_EQ(patch.open(path), 0);
  EXPECT_EQ(recording.messages(), std::vector<std::string>{"patch file is not a regular file:" + path});
}

INSTANTIATE_TEST_SUITE_P(Kinds, NotAFileTest, ::testing::Values("pipe", "/dev/zero"),
                         [](const auto& info) { return std::string(info.param) == "pipe" ? "pipe" : "device"; });

// A file that claims more bytes than a registry file may have, and would
// hand out zeros for all of them.
class EndlessZeros final : public ReadableFile {
 public:
  EndlessZeros(uint64_t size, uint64_t& handedOut) : size_(size), handedOut_(handedOut) {}
  uint64_t size() const override { return size_; }
  std::optional<size_t> read(void* into, size_t count) override {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - position_));
    std::memset(into, 0, n);
    position_ += n;
    handedOut_ += n;
    return n;
  }
  bool readAt(uint64_t offset, void* into, size_t count) override {
    if (offset > size_ || count > size_ - offset) return false;
    std::memset(into, 0, count);
    handedOut_ += count;
    return true;
  }

 private:
  uint64_t size_;
  uint64_t position_ = 0;
  uint64_t& handedOut_;
};

TEST(HiveLimitTest, AHiveOverTheCapIsRefusedBeforeItIsRead) {
  test::TempDir dir;
  const std::string path = dir / "user.reg";
  test::writeFile(path, "");  // a regular file, read as the fake one
  test::FakeFileSystem files;
  struct Case {
    uint64_t size;
    bool read;
  };
  for (const Case c : {Case{kMaxHiveSize + 1, false}, Case{1000, true}, Case{kMaxHiveSize, true}}) {
    SCOPED_TRACE(c.size);
    uint64_t handedOut = 0;
    files.readInstead[path] = [&] { return std::make_unique<EndlessZeros>(c.size, handedOut); };
    const Result<HiveText> hive = readHiveFile(files, path);
    if (c.read) {
      ASSERT_TRUE(hive.ok());
      EXPECT_EQ(handedOut, c.size);
    } else {
      ASSERT_FALSE(hive.ok());
      EXPECT_EQ(hive.fault(), (Fault{FaultKind::BadSize, path + " is larger than 64 MiB"}));
      EXPECT_EQ(handedOut, 0u);
    }
  }
}

// xmg2png on a header that claims far more picture than its data could
// describe: refused at once, naming what the data lacks.
TEST(XmgLimitTest, Xmg2PngRefusesAHugeImageOverNoData) {
  struct Case {
    int32_t side;
    int longRuns;  // opcodes of 4095 mask-colour blocks after the header
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {16384, 0, 1, "XMG image size 16384 x 16384 needs at least 32778 bytes of data, the file holds 0"},
      // 1024 x 1024 blocks: 257 opcodes reach them all, however little they say.
      {2048, 257, 0, ""},
      {2048, 256, 1, "XMG image size 2048 x 2048 needs at least 514 bytes of data, the file holds 512"},
      // Small pictures cut short still decode, their undrawn part white.
      {64, 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.side);
    test::TempDir dir;
    std::string data;
    for (int i = 0; i < c.longRuns; ++i) data += "\xDF\xFF";
    test::writeFile(dir / "in.xmg", test::xmgHeader(c.side, c.side).bytes() + data);
    const auto run = test::runCommand("'" + test::binaryPath("vhtool") + "' xmg2png '" + (dir / "in.xmg") + "' '" +
                                      (dir / "out.png") + "'");
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.status != 0) {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
      EXPECT_FALSE(fileExists(dir / "out.png"));
    }
  }
}

}  // namespace
}  // namespace vh
