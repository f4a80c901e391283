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

class MemberQueue {
 public:
  // Members in flight per worker: enough that a worker finds the next one
  // while the oldest is being written, few enough that a tree of many large
  // files is never held whole.
  static constexpr size_t kJobsPerWorker = 4;
  // Source bytes in flight at most (each also holds its deflated copy); one
  // member larger than this still goes, alone.
  static constexpr uint64_t kWeightLimit = 256ull << 20;

  // The most the queue held at once: members added and not yet written, and
  // their source bytes.
  struct Held {
    size_t members = 0;
    uint64_t bytes = 0;
  };

  // `threads` 1 works on the calling thread alone and lets minizip deflate,
  // as the writer always did; more start that many workers, with
  // kJobsPerWorker members each in flight and `weightLimit` source bytes in
  // all. `previous` is the package being replaced, or null; it is read on
  // the calling thread only and must outlive the queue.
  MemberQueue(ZipWriter& writer, int threads, ZipReader* previous, uint64_t weightLimit = kWeightLimit);
  ~MemberQueue();
  MemberQueue(const MemberQueue&) = delete;
  MemberQueue& operator=(const MemberQueue&) = delete;

  // The file under its own path, stamped with its modification time; a
  // path that cannot be read as a file adds nothing.
  void addFile(const std::string& path);
  // Bytes held in memory, stamped with the current time.
  void addBytes(const std::string& name, MemberBytes bytes);
  // Writes every member still on its way; the workers are gone after it. A
  // worker's exception comes out of here, or out of the add that was
  // writing the member it failed on.
  void finish();

  // Members copied from the previous package, and all members written.
  int reused() const { return reused_; }
  int written() const { return written_; }
  Held mostHeld() const { return mostHeld_; }

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
  // With the lock held, after a member was added.
  void noteHeld();
  void stopWorkers();

  ZipWriter& writer_;
  ZipReader* previous_;
  const std::string previousPath_;
  const bool parallel_;
  const size_t window_;
  const uint64_t weightLimit_;
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
  Held mostHeld_;
};

}  // namespace vh
