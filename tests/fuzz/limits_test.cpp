// Sizes and kinds of file that come from outside the program: refused with a
// message before anything is allocated or read, never blocked on.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "common/files.h"
#include "common/stream.h"
#include "package/patch.h"
#include "support/wine_hive.h"
#include "tests/recording_desktop.h"
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
  const Result<HiveText> hive = readHiveFile(path);
  ASSERT_FALSE(hive.ok());
  EXPECT_EQ(hive.fault(), (Fault{FaultKind::CannotOpen, path + " is not a regular file"}));

  RecordingDesktop recording;
  ScopedDesktop scoped(recording);
  tPatch patch;
  EXPECT_EQ(patch.open(path), 0);
  EXPECT_EQ(recording.messages(), std::vector<std::string>{"patch file is not a regular file:" + path});
}

INSTANTIATE_TEST_SUITE_P(Kinds, NotAFileTest, ::testing::Values("pipe", "/dev/zero"),
                         [](const auto& info) { return std::string(info.param) == "pipe" ? "pipe" : "device"; });

// A stream that claims more bytes than a registry file may have, and
// would hand out zeros for all of them.
class EndlessZeros final : public Stream {
 public:
  explicit EndlessZeros(int64_t size) : size_(size) {}
  int64_t position() const override { return position_; }
  int64_t size() const override { return size_; }
  void seek(int64_t position) override { position_ = position; }
  void write(const void*, size_t) override { throw StreamError(kWriteError); }
  int64_t handedOut = 0;

 protected:
  size_t readSome(void* destination, size_t count) override {
    std::memset(destination, 0, count);
    position_ += static_cast<int64_t>(count);
    handedOut += static_cast<int64_t>(count);
    return count;
  }

 private:
  int64_t size_;
  int64_t position_ = 0;
};

TEST(HiveLimitTest, AHiveOverTheCapIsRefusedBeforeItIsRead) {
  EndlessZeros over(static_cast<int64_t>(kMaxHiveSize) + 1);
  const Result<HiveText> refused = readHive(over, "user.reg");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.fault(), (Fault{FaultKind::BadSize, "user.reg is larger than 64 MiB"}));
  EXPECT_EQ(over.handedOut, 0);

  EndlessZeros within(1000);
  ASSERT_TRUE(readHive(within, "user.reg").ok());
  EXPECT_EQ(within.handedOut, 1000);
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
