// The package's members on their way into the writer: taken in the order
// the builder adds them and written in that order on a thread of their
// own, while their sources are read and deflated on worker threads, a
// large one in pieces on several. A member whose bytes the previous
// package already holds is copied from it as stored instead of deflated
// again: proved the same by the digest the last build recorded for its
// source, or else by inflating it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "builder/deflate_pieces.h"
#include "builder/source_digests.h"
#include "common/file_system.h"
#include "common/files.h"
#include "common/stream.h"
#include "support/zip.h"

namespace vh {

// A stream the previous package held, proved the same by its record and
// copied from the package a block at a time, turned out different once
// copied: the package changed since its record was written. The member
// written is then wrong, and the build has to start again, checking each
// stream it reuses before writing it.
class StoredStreamChanged : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MemberQueue {
 public:
  // Members in flight per worker: enough that the workers find small ones
  // to deflate while a large one is being written, few enough that a tree
  // of many large files is never held whole (the weight limit bounds them
  // too).
  static constexpr size_t kJobsPerWorker = 16;
  // Source bytes in flight at most (each also holds its deflated copy); one
  // member larger than this still goes, alone.
  static constexpr uint64_t kWeightLimit = 256ull << 20;
  // Members up to this size whose record vouches for their source by its
  // stamp are prepared on the thread that adds them.
  static constexpr uint64_t kPreparedHere = 1u << 20;
  // They wait for no worker, so more of them may be held: up to this many
  // workers' windows in all.
  static constexpr size_t kHeldHerePerWindow = 16;
  // Members prepared as they were added are written once this many are
  // waiting (or sooner when something else is; see writeAll).
  static constexpr size_t kWriteBatch = 16;
  // A stored stream longer than this that its record vouches for is never
  // held: the writer copies it from the previous package in blocks of
  // kCopyBlock, checking it as it goes. Read whole it cost a fresh
  // allocation as large as the stream, faulted in a page at a time, and a
  // worker's read and check before the writer could start on it.
  static constexpr uint64_t kCopiedInBlocks = 1u << 20;
  static constexpr size_t kCopyBlock = 256u << 10;

  // The most the queue held at once: members added and not yet written, and
  // their source bytes.
  struct Held {
    size_t members = 0;
    uint64_t bytes = 0;
  };

  // What the queue learnt of a file source it wrote: its record, whose
  // stream it knows only when it handed the writer the stream itself
  // (minizip deflates out of its sight with one thread): then also where
  // the stream lies, each member's local header being its fixed 30 bytes
  // and its name.
  struct Written {
    std::string name;
    SourceRecord record;
    bool streamKnown = false;
  };

  // `threads` 1 works on the calling thread alone and lets minizip deflate,
  // as the writer always did; more start that many workers, with
  // kJobsPerWorker members each in flight and `weightLimit` source bytes in
  // all, deflate members as large as `pieces` says in pieces, and write on
  // a thread of their own: an add waits only while the queue is full, so a
  // long stream being copied or written no longer holds up the adds of the
  // members after it.
  // `previous` is the package being replaced, or null; it is read on the
  // calling thread only and must outlive the queue, as must `known`, what
  // the build that wrote it recorded of its sources (or null), and `files`,
  // which sources are stamped and read through (the local file system
  // without it; `known` needs it).
  MemberQueue(ZipWriter& writer, int threads, ZipReader* previous, uint64_t weightLimit = kWeightLimit,
              const DeflatePieces& pieces = {}, const SourceDigests* known = nullptr, FileSystem* files = nullptr);
  ~MemberQueue();
  MemberQueue(const MemberQueue&) = delete;
  MemberQueue& operator=(const MemberQueue&) = delete;

  // The file under its own path, stamped with its modification time; a
  // path that cannot be read as a file adds nothing.
  void addFile(const std::string& path);
  // Bytes held in memory, stamped with the current time.
  void addBytes(const std::string& name, MemberBytes bytes);
  // Stored streams longer than `size` that their records vouch for are
  // copied in blocks by the writer (kCopiedInBlocks unless set); none
  // with no limit. Set before the first member is added.
  void copyInBlocksAbove(uint64_t size) { copiedInBlocks_ = size; }
  // Writes every member still on its way; the workers and the writing
  // thread are gone after it. An exception of a worker or of the writing
  // comes out of here, or out of an add after it.
  void finish();

  // Members copied from the previous package, those of them proved the
  // same by their record alone (stamp or digest), those of these proved
  // by the stamp without reading the source, and all members written.
  int reused() const { return reused_; }
  int reusedByDigest() const { return reusedByDigest_; }
  int reusedByStamp() const { return reusedByStamp_; }
  int written() const { return written_; }
  Held mostHeld() const { return mostHeld_; }
  // The file sources written, in order.
  const std::vector<Written>& sources() const { return sources_; }
  // The same, handed over: the queue keeps none.
  std::vector<Written> takeSources() { return std::move(sources_); }

 private:
  struct Job {
    std::string name;
    std::string path;  // the source file, "" for bytes given in memory
    std::tm when{};
    FileStamp stamp;  // of the source file
    int64_t stampedAt = 0;  // when, as the file system's times count
    MemberBytes bytes;
    std::optional<PackedMember> previous;
    PackedMember packed;
    uint64_t weight = 0;  // source bytes it holds while in flight
    bool unreadable = false;
    bool reused = false;
    bool reusedByDigest = false;
    bool reusedByStamp = false;
    // Reused, and its stream still only in the previous package.
    bool copiedInBlocks = false;
    bool pieced = false;
    std::string digest;  // of a file source's bytes
    std::optional<uint32_t> storedCrc;
    // A member deflated in pieces: after its preparation, its pieces and
    // its digest are tasks any worker may take. The writer takes each
    // piece's stream as soon as it and those before it are done, while the
    // rest are still being deflated, and keeps the whole stream's length
    // and CRC-32.
    std::vector<DeflatedPiece> pieces;
    std::vector<char> pieceDone;
    size_t piecesWritten = 0;
    uint64_t streamSize = 0;
    uint32_t streamCrc = 0;
    size_t tasks = 0;
    size_t tasksHandedOut = 0;
    size_t tasksDone = 0;
    bool prepared = false;
    // Its source is being read while its first pieces are out, and has
    // this many bytes in so far.
    bool reading = false;
    uint64_t readSoFar = 0;
    bool done = false;
    bool preparedHere = false;
    std::exception_ptr failure;
  };

  // What a worker takes: a job's preparation, or one task of a job in
  // pieces (a piece, or the digest when `task` is the number of pieces).
  struct Task {
    Job* job = nullptr;
    std::optional<size_t> task;
  };

  void add(std::unique_ptr<Job> job);
  void work();
  // With the lock held: the oldest job's next piece, else the next job to
  // prepare; no job when there is nothing to do.
  Task takeTask();
  void runTask(const Task& task);
  bool taskReady(const Job& job, size_t index) const;
  bool vouchedByStamp(const Job& job) const;
  // `here` is the previous package's windows when the adding thread
  // prepares the job, null on a worker.
  void prepare(Job& job, WindowedFile* here = nullptr);
  void readInPieces(Job& job, FileStream& source, size_t size);
  bool reusedByDigest(Job& job, WindowedFile* here) const;
  bool reusedByInflating(Job& job, WindowedFile* here) const;
  // The job's stream from the previous package into `previous->compressed`.
  bool readStored(Job& job, WindowedFile* here) const;
  void finishPieces(Job& job) const;
  // With the lock held: writes the oldest job once it is done; false when
  // the queue was stopped first (only the writing thread waits for that).
  bool writeOldest(std::unique_lock<std::mutex>& lock);
  // The writing thread: the oldest job as soon as it is done, until the
  // queue is finished or stopped.
  void writeAll();
  // Copies a job's stream from the previous package into the writer,
  // throwing StoredStreamChanged when it is not the stream recorded.
  void copyStoredStream(const Job& job);
  // With the lock held: writes the pieces of `job`, the oldest, as they
  // come; returns once all are written, or the job failed or has none, or
  // the queue was stopped (then false).
  bool writePieces(Job& job, std::unique_lock<std::mutex>& lock);
  // With the lock held, after a member was added.
  void noteHeld();
  void stopWorkers();

  ZipWriter& writer_;
  ZipReader* previous_;
  const std::string previousPath_;
  // The previous package, open once for every stored stream read from it.
  const std::optional<RegularFile> previousFile_;
  // The same read through windows by the adding thread, which prepares
  // small members, one after the other, in the order they lie in it.
  std::optional<WindowedFile> previousHere_;
  const bool parallel_;
  const size_t window_;
  const uint64_t weightLimit_;
  const DeflatePieces pieceSize_;
  const SourceDigests* known_;
  uint64_t copiedInBlocks_ = kCopiedInBlocks;
  std::unique_ptr<FileSystem> localFiles_;  // when none was given
  FileSystem* files_;
  std::vector<std::thread> workers_;
  std::thread writing_;

  std::mutex mutex_;
  std::condition_variable jobReady_;
  std::condition_variable jobDone_;   // the writing thread waits on it, for jobs and their pieces
  std::condition_variable roomMade_;  // an add waits on it while the queue is full
  std::deque<std::unique_ptr<Job>> inFlight_;  // oldest first
  size_t handedOut_ = 0;                       // of inFlight_, taken by a worker
  size_t heldHere_ = 0;                        // of inFlight_, prepared as they were added
  uint64_t weight_ = 0;
  bool stopping_ = false;
  bool finishing_ = false;              // nothing more comes: the writing thread ends once all is written
  bool waitingForRoom_ = false;         // an add waits for the writing thread
  size_t writtenForRoom_ = 0;           // members written since it began to wait
  std::exception_ptr writingFailure_;  // what ended the writing thread early

  int reused_ = 0;
  int reusedByDigest_ = 0;
  int reusedByStamp_ = 0;
  int written_ = 0;
  Held mostHeld_;
  std::vector<Written> sources_;
  uint64_t writtenBytes_ = 0;  // of the package, while every stream was known
  bool layoutKnown_ = true;
};

}  // namespace vh
