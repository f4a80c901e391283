#include "common/report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/desktop.h"
#include "tests/recording_desktop.h"

namespace vh {
namespace {

class RecordingReporter : public Reporter {
 public:
  void messageBox(const std::string& text) override { lines.push_back("message " + text); }
  void debugLog(const std::string& text) override { lines.push_back("debug " + text); }
  std::vector<std::string> lines;
};

TEST(Reporter, ScopedReportersNestAndPutTheOldOneBack) {
  EXPECT_EQ(installedReporter(), nullptr);
  RecordingReporter outer, inner;
  {
    ScopedReporter a(outer);
    reporter().messageBox("one");
    {
      ScopedReporter b(inner);
      reporter().debugLog("two");
    }
    reporter().debugLog("three");
  }
  EXPECT_EQ(installedReporter(), nullptr);
  EXPECT_EQ(outer.lines, (std::vector<std::string>{"message one", "debug three"}));
  EXPECT_EQ(inner.lines, (std::vector<std::string>{"debug two"}));
}

// Whatever a layer below the application reports reaches the desktop in use,
// and a desktop's scope ends by giving back the reporter it found.
TEST(Reporter, AnInstalledDesktopIsTheReporterForItsScope) {
  RecordingReporter outer;
  ScopedReporter a(outer);
  RecordingDesktop desktopSeen;
  {
    ScopedDesktop installed(desktopSeen);
    EXPECT_EQ(installedReporter(), &desktopSeen);
    reporter().messageBox("failed to read:x");
    reporter().debugLog("why");
  }
  EXPECT_EQ(installedReporter(), &outer);
  EXPECT_EQ(desktopSeen.messages(), std::vector<std::string>{"failed to read:x"});
  EXPECT_EQ(desktopSeen.texts(RecordingDesktop::Kind::Debug), std::vector<std::string>{"why"});
  EXPECT_TRUE(outer.lines.empty());
}

TEST(Reporter, FatalErrorsAndOrderlyEndsAreRaised) {
  try {
    fatalError("invalid XARC size:a.xarc");
    FAIL() << "returned";
  } catch (const FatalError& e) {
    EXPECT_EQ(std::string(e.what()), "invalid XARC size:a.xarc");
  }
  try {
    endProcess(3);
    FAIL() << "returned";
  } catch (const ProcessExit& e) {
    EXPECT_EQ(e.status, 3);
  }
}

}  // namespace
}  // namespace vh
