#include "common/report.h"

#include <gtest/gtest.h>

#include <string>

namespace vh {
namespace {

// Where nobody is at the machine, a message still reaches standard error;
// debug lines are dropped.
TEST(Reporter, TheStandardErrorReporterWritesMessagesAndDropsDebugLines) {
  StandardErrorReporter report;
  testing::internal::CaptureStderr();
  report.messageBox("failed to read:x");
  report.debugLog("why");
  report.messageBox("second");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "failed to read:x\nsecond\n");
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
