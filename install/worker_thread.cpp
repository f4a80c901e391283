#include "install/worker_thread.h"

#include <utility>

#include "install/install_guard.h"

namespace vh {

WorkerThread::WorkerThread() : thread_([this] { run(); }) {}

WorkerThread::~WorkerThread() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !busy_; });
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void WorkerThread::start(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    task_ = std::move(task);
    busy_ = true;
  }
  changed_.notify_all();
}

void WorkerThread::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !busy_; });
  if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
}

bool WorkerThread::busy() {
  std::lock_guard lock(mutex_);
  return busy_;
}

void WorkerThread::run() {
  keepStopsFromThisThread();
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return busy_ || ending_; });
    if (!busy_) return;
    std::function<void()> task = std::move(task_);
    lock.unlock();
    std::exception_ptr thrown;
    try {
      task();
    } catch (...) {
      thrown = std::current_exception();
    }
    // The task's captures go before its end is announced: they may refer
    // to what the waiting thread frees next.
    task = nullptr;
    lock.lock();
    thrown_ = thrown;
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace vh
