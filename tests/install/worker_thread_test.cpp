// An installation's second thread: a task's work is seen once it has been
// waited for, what it throws comes out of the wait, and the helper does not
// end before the task at hand; the lines a task held are said in order.
#include "install/worker_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/report.h"
#include "tests/recording_host.h"

namespace vh {
namespace {

TEST(WorkerThread, HandsOverWorkAndWhatItThrewAndEndsOnlyAfterItsTask) {
  std::vector<int> done;
  {
    WorkerThread worker;
    worker.wait();  // nothing started: returns at once
    for (int k = 0; k < 3; ++k) {
      worker.start([&done, k] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        done.push_back(k);
      });
      worker.wait();
      ASSERT_EQ(done.size(), static_cast<size_t>(k + 1));
    }
    worker.start([] { throw std::runtime_error("unreadable archive"); });
    EXPECT_THROW(worker.wait(), std::runtime_error);
    worker.wait();  // the exception is handed over once
    worker.start([&done] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      done.push_back(9);
    });
  }
  EXPECT_EQ(done, (std::vector<int>{0, 1, 2, 9}));
}

TEST(WorkerThread, HeldLinesAreSaidInTheirOrderOnce) {
  HeldReport held;
  held.debugLog("patching a");
  held.messageBox("failed applying image patch:x");
  held.debugLog("after");
  RecordingHost said;
  held.sayTo(said);
  held.sayTo(said);
  std::vector<std::string> seen;
  for (const auto& event : said.events) {
    seen.push_back((event.kind == RecordingHost::Kind::Message ? "message " : "debug ") + event.text);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"debug patching a", "message failed applying image patch:x",
                                            "debug after"}));
}

}  // namespace
}  // namespace vh
