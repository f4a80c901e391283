// A thread of an installation's own beside its main one, one task at a
// time: it translates the next archive in memory while this one is written,
// or puts written scenes' files in place while the next are written. The stop
// signals never reach it, so a stop is still heard by the installation's
// thread between files.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace vh {

class WorkerThread {
 public:
  WorkerThread();
  // Finishes the task at hand first.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts `task`; the one before must have been waited for.
  void start(std::function<void()> task);
  // Until the task started last is done (at once when there is none); what
  // it threw is thrown here.
  void wait();
  // Whether the task started last is still at work.
  bool busy();

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
