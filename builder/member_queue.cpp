#include "builder/member_queue.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "common/files.h"
#include "common/stream.h"

namespace vh {

namespace {

uint32_t crcOf(const MemberBytes& bytes) {
  return static_cast<uint32_t>(crc32_z(crc32(0L, Z_NULL, 0), bytes.data(), bytes.size()));
}

}  // namespace

MemberQueue::MemberQueue(ZipWriter& writer, int threads, ZipReader* previous, uint64_t weightLimit)
    : writer_(writer),
      previous_(previous),
      previousPath_(previous ? previous->getName() : ""),
      parallel_(threads > 1),
      window_(static_cast<size_t>(std::max(threads, 1)) * kJobsPerWorker),
      weightLimit_(weightLimit) {
  if (!parallel_) return;
  workers_.reserve(static_cast<size_t>(threads));
  for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

MemberQueue::~MemberQueue() { stopWorkers(); }

void MemberQueue::stopWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  jobReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

void MemberQueue::addFile(const std::string& path) {
  auto job = std::make_unique<Job>();
  job->name = path;
  job->path = path;
  job->when = ZipWriter::fileTime(path);
  job->weight = static_cast<uint64_t>(std::max<int64_t>(fileSize(path), 0));
  add(std::move(job));
}

void MemberQueue::addBytes(const std::string& name, MemberBytes bytes) {
  auto job = std::make_unique<Job>();
  job->name = name;
  job->when = ZipWriter::timeNow();
  job->weight = bytes.size();
  job->bytes = std::move(bytes);
  add(std::move(job));
}

void MemberQueue::add(std::unique_ptr<Job> job) {
  // The previous package is one minizip handle, so its directory is asked
  // here, and only when its member is as long as the source is now; the
  // workers fetch the stored bytes themselves.
  if (previous_ && previous_->memberSize(job->name, 1) == static_cast<int64_t>(job->weight)) {
    job->previous = previous_->LocatePacked(job->name);
  }
  if (!parallel_) {
    prepare(*job);
    job->done = true;
    std::unique_lock<std::mutex> lock(mutex_);
    weight_ += job->weight;
    inFlight_.push_back(std::move(job));
    noteHeld();
    ++handedOut_;
    writeOldest(lock);
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  while (!inFlight_.empty() && (inFlight_.size() >= window_ || weight_ + job->weight > weightLimit_)) {
    writeOldest(lock);
  }
  weight_ += job->weight;
  inFlight_.push_back(std::move(job));
  noteHeld();
  lock.unlock();
  jobReady_.notify_one();
}

void MemberQueue::noteHeld() {
  mostHeld_.members = std::max(mostHeld_.members, inFlight_.size());
  mostHeld_.bytes = std::max(mostHeld_.bytes, weight_);
}

void MemberQueue::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!inFlight_.empty()) writeOldest(lock);
  lock.unlock();
  stopWorkers();
}

void MemberQueue::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    jobReady_.wait(lock, [this] { return stopping_ || handedOut_ < inFlight_.size(); });
    if (stopping_) return;
    Job& job = *inFlight_[handedOut_++];
    lock.unlock();
    try {
      prepare(job);
    } catch (...) {
      job.failure = std::current_exception();
    }
    lock.lock();
    job.done = true;
    jobDone_.notify_all();
  }
}

// Runs on a worker, or on the calling thread without workers; touches
// nothing but the job.
void MemberQueue::prepare(Job& job) const {
  if (!job.path.empty()) {
    auto source = FileStream::open(job.path, FileMode::Read);
    if (!source) {
      job.unreadable = true;
      return;
    }
    job.bytes.resize(static_cast<size_t>(source->size()));
    source->readFixed(job.bytes.data(), job.bytes.size());
  }
  const int level = writer_.m_compressionLevel;
  // The stored stream is taken only when it gives back exactly these bytes:
  // a changed source or a damaged package is deflated afresh. The flags
  // name only a class of levels (8 and 9 share one), so a stream is taken
  // only at the default level, the one the builder writes and so the one
  // the package it replaces was written at.
  if (job.previous && level == Z_DEFAULT_COMPRESSION && job.previous->size == job.bytes.size() &&
      job.previous->flag == ZipWriter::levelFlag(level) &&
      job.previous->crc == crcOf(job.bytes) && readStoredBytes(previousPath_, *job.previous) &&
      inflatesTo(*job.previous, job.bytes.data(), job.bytes.size())) {
    job.packed = std::move(*job.previous);
    job.reused = true;
  } else if (parallel_) {
    job.packed = deflateMember(job.bytes.data(), job.bytes.size(), level);
  }
  job.previous.reset();
  if (parallel_ || job.reused) MemberBytes().swap(job.bytes);
}

void MemberQueue::writeOldest(std::unique_lock<std::mutex>& lock) {
  jobDone_.wait(lock, [this] { return inFlight_.front()->done; });
  std::unique_ptr<Job> job = std::move(inFlight_.front());
  inFlight_.pop_front();
  --handedOut_;
  weight_ -= job->weight;
  lock.unlock();
  if (job->failure) {
    lock.lock();
    std::rethrow_exception(job->failure);
  }
  if (!job->unreadable) {
    if (job->reused || parallel_) {
      writer_.AddPacked(job->name, job->packed, job->when);
    } else {
      writer_.AddBytes(job->name, job->bytes.data(), job->bytes.size(), job->when);
    }
    reused_ += job->reused ? 1 : 0;
    ++written_;
  }
  lock.lock();
}

}  // namespace vh
