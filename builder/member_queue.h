// The package's members on their way into the writer: taken in the order
// the builder adds them and written in that order, while their sources are
// read and deflated on worker threads. A member whose bytes the previous
// package already holds is copied from it as stored instead of deflated
// again.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/zip.h"

namespace vh {

class tMemberQueue {
 public:
  // `threads` 1 works on the calling thread alone and lets minizip deflate,
  // as the writer always did; more start that many workers. `previous` is
  // the package being replaced, or null; it is read on the calling thread
  // only and must outlive the queue.
  tMemberQueue(ZipWriter& writer, int threads, ZipReader* previous);
  ~tMemberQueue();
  tMemberQueue(const tMemberQueue&) = delete;
  tMemberQueue& operator=(const tMemberQueue&) = delete;

  // The file under its own path, stamped with its modification time; a
  // path that cannot be read as a file adds nothing.
  void addFile(const std::string& path);
  // Bytes held in memory, stamped with the current time.
  void addBytes(const std::string& name, MemberBytes bytes);
  // Writes every member still on its way; the workers are gone after it.
  void finish();

  // Members copied from the previous package, and all members written.
  int reused() const { return reused_; }
  int written() const { return written_; }

 private:
  struct Job {
    std::string name;
    std::string path;  // the source file, "" for bytes given in memory
    std::tm when{};
    MemberBytes bytes;
    std::optional<PackedMember> previous;
    PackedMember packed;
    uint64_t weight = 0;  // source bytes it holds while in flight
    bool unreadable = false;
    bool reused = false;
    bool done = false;
    std::exception_ptr failure;
  };

  void add(std::unique_ptr<Job> job);
  void work();
  void prepare(Job& job) const;
  void writeOldest(std::unique_lock<std::mutex>& lock);
  void stopWorkers();

  ZipWriter& writer_;
  ZipReader* previous_;
  const std::string previousPath_;
  const bool parallel_;
  const size_t window_;
  std::vector<std::thread> workers_;

  std::mutex mutex_;
  std::condition_variable jobReady_;
  std::condition_variable jobDone_;
  std::deque<std::unique_ptr<Job>> inFlight_;  // oldest first
  size_t handedOut_ = 0;                       // of inFlight_, taken by a worker
  uint64_t weight_ = 0;
  bool stopping_ = false;

  int reused_ = 0;
  int written_ = 0;
};

}  // namespace vh
