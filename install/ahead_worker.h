// A second thread for an installation: while the installation's own thread
// writes and syncs the files of one archive, this one reads nothing and
// writes nothing, but translates the next archive in memory. One task at a
// time; the stop signals never reach it, so a stop is still heard by the
// installation's thread between files.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace vh {

class AheadWorker {
 public:
  AheadWorker();
  // Finishes the task at hand first.
  ~AheadWorker();
  AheadWorker(const AheadWorker&) = delete;
  AheadWorker& operator=(const AheadWorker&) = delete;

  // Starts `task`; the one before must have been waited for.
  void start(std::function<void()> task);
  // Until the task started last is done (at once when there is none); what
  // it threw is thrown here.
  void wait();

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> task_;
  bool busy_ = false;
  bool ending_ = false;
  std::exception_ptr thrown_;
  std::thread thread_;
};

}  // namespace vh
