#include "builder/member_queue.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <string_view>

#include "common/files.h"
#include "common/local_file_system.h"
#include "common/stream.h"
#include "digest/sha256.h"

namespace vh {

namespace {

// A local header without extra fields, as ZipWriter writes them, before
// the member's name.
constexpr uint64_t kLocalHeader = 30;

uint32_t crcOf(const uint8_t* bytes, size_t count) {
  return static_cast<uint32_t>(crc32_z(crc32(0L, Z_NULL, 0), bytes, count));
}

uint32_t crcOf(const MemberBytes& bytes) { return crcOf(bytes.data(), bytes.size()); }

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The whole second a time in nanoseconds falls in, before 1970 too.
std::time_t secondsOf(int64_t ns) {
  constexpr int64_t kNsPerSecond = 1'000'000'000;
  return static_cast<std::time_t>(ns / kNsPerSecond - (ns % kNsPerSecond < 0 ? 1 : 0));
}

std::string digestOf(const MemberBytes& bytes) {
  return sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

MemberQueue::MemberQueue(ZipWriter& writer, int threads, ZipReader* previous, uint64_t weightLimit,
                         const DeflatePieces& pieces, const SourceDigests* known, FileSystem* files)
    : writer_(writer),
      previous_(previous),
      previousPath_(previous ? previous->getName() : ""),
      previousFile_(previous ? RegularFile::open(previousPath_) : std::nullopt),
      parallel_(threads > 1),
      window_(static_cast<size_t>(std::max(threads, 1)) * kJobsPerWorker),
      weightLimit_(weightLimit),
      pieceSize_(pieces),
      known_(files ? known : nullptr),
      localFiles_(files ? nullptr : std::make_unique<LocalFileSystem>()),
      files_(files ? files : localFiles_.get()) {
  if (previousFile_) previousHere_.emplace(*previousFile_);
  if (!parallel_) return;
  workers_.reserve(static_cast<size_t>(threads));
  for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
  writing_ = std::thread([this] { writeAll(); });
}

MemberQueue::~MemberQueue() { stopWorkers(); }

void MemberQueue::stopWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  jobReady_.notify_all();
  jobDone_.notify_all();
  if (writing_.joinable()) writing_.join();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

void MemberQueue::addFile(const std::string& path) {
  auto job = std::make_unique<Job>();
  job->name = path;
  job->path = path;
  // The clock is read before the file's times: a write after this moment
  // lands at it or later, so a change time well before it has settled.
  job->stampedAt = nowNs();
  const FileStatus status = files_->status(path);
  if (status.kind == FileKind::File) job->stamp = status.stamp;
  job->when = ZipWriter::stampOf(secondsOf(job->stamp.modifiedNs));
  job->weight = job->stamp.size;
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
  // here, once, and its member kept only when it is as long as the source
  // is now; the workers fetch the stored bytes themselves.
  if (previous_) {
    std::optional<PackedMember> stored = previous_->LocatePacked(job->name);
    if (stored && stored->size == job->weight) job->previous = std::move(stored);
  }
  WindowedFile* windows = previousHere_ ? &*previousHere_ : nullptr;
  if (!parallel_) {
    prepare(*job, windows);
    job->done = true;
    std::unique_lock<std::mutex> lock(mutex_);
    weight_ += job->weight;
    inFlight_.push_back(std::move(job));
    noteHeld();
    ++handedOut_;
    writeOldest(lock);
    return;
  }
  // A small member whose source its record vouches for by the stamp alone
  // costs a read of its stored stream here: less than handing it to a
  // worker and waking the writer for it.
  // Never one that would go in pieces: its tasks need the workers.
  const bool here = job->previous && job->weight <= kPreparedHere && pieceSize_.piecesOf(job->weight) == 0 &&
                    vouchedByStamp(*job);
  if (here) {
    prepare(*job, windows);
    job->prepared = true;
    job->done = true;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  // Members prepared here wait for no worker: while a large one before them
  // is still being prepared, more of them are held than the workers' window
  // (up to kHeldHerePerWindow windows), so that this thread goes on.
  const auto full = [&] {
    const size_t forWorkers = inFlight_.size() - heldHere_;
    return (!here && forWorkers >= window_) || inFlight_.size() >= window_ * kHeldHerePerWindow ||
           weight_ + job->weight > weightLimit_;
  };
  if (parallel_ && !writingFailure_ && !inFlight_.empty() && full()) {
    // The writing thread may be resting on a short queue: it writes on.
    waitingForRoom_ = true;
    writtenForRoom_ = 0;
    jobDone_.notify_all();
    roomMade_.wait(lock, [&] { return writingFailure_ || inFlight_.empty() || !full(); });
    waitingForRoom_ = false;
  }
  if (writingFailure_) std::rethrow_exception(writingFailure_);
  weight_ += job->weight;
  job->preparedHere = here;
  heldHere_ += here ? 1 : 0;
  inFlight_.push_back(std::move(job));
  noteHeld();
  const bool batch = inFlight_.size() == kWriteBatch;
  lock.unlock();
  if (batch) jobDone_.notify_all();
  if (!here) jobReady_.notify_one();
}

bool MemberQueue::vouchedByStamp(const Job& job) const {
  const SourceRecord* record = known_ && !job.path.empty() ? known_->find(job.name) : nullptr;
  return record && SourceDigests::sameFile(*record, job.stamp);
}

void MemberQueue::noteHeld() {
  mostHeld_.members = std::max(mostHeld_.members, inFlight_.size());
  mostHeld_.bytes = std::max(mostHeld_.bytes, weight_);
}

void MemberQueue::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!parallel_) {
    while (!inFlight_.empty()) writeOldest(lock);
    return;
  }
  finishing_ = true;
  lock.unlock();
  jobDone_.notify_all();
  writing_.join();
  if (writingFailure_) std::rethrow_exception(writingFailure_);
  stopWorkers();
}

void MemberQueue::writeAll() {
  std::unique_lock<std::mutex> lock(mutex_);
  // Members prepared as they were added are written a batch at a time:
  // woken for each, this thread and the adding one would take turns at the
  // lock for every small member. Once woken, this thread writes until the
  // queue is empty. A member a worker prepares is waited for at once (its
  // worker wakes this thread); so is any when the adding thread waits for
  // room, or nothing more comes.
  const auto writable = [this] {
    return !inFlight_.empty() &&
           (waitingForRoom_ || inFlight_.size() >= kWriteBatch || !inFlight_.front()->preparedHere);
  };
  for (;;) {
    jobDone_.wait(lock, [&] { return stopping_ || finishing_ || writable(); });
    if (stopping_ || inFlight_.empty()) return;
    while (!inFlight_.empty()) {
      try {
        if (!writeOldest(lock)) return;
      } catch (...) {
        // Thrown with the lock held or not, as it came; what comes after
        // the member that failed is never written.
        if (!lock.owns_lock()) lock.lock();
        writingFailure_ = std::current_exception();
        roomMade_.notify_all();
        return;
      }
      // The adding thread is woken once a batch of small members is out, not
      // for each; for each member of a short queue (large members, which
      // the weight limit holds back).
      if (waitingForRoom_ && (++writtenForRoom_ % kWriteBatch == 0 || inFlight_.size() < kWriteBatch)) {
        roomMade_.notify_all();
      }
    }
  }
}

MemberQueue::Task MemberQueue::takeTask() {
  // The oldest jobs first: the writer waits for the front one.
  for (size_t i = 0; i < handedOut_; ++i) {
    Job& job = *inFlight_[i];
    // Its tasks are read only once it is out of its preparation's hands.
    if (taskReady(job, job.tasksHandedOut) && job.tasksHandedOut < job.tasks) {
      return {&job, job.tasksHandedOut++};
    }
  }
  // A job prepared as it was added is passed over.
  while (handedOut_ < inFlight_.size()) {
    Job* job = inFlight_[handedOut_++].get();
    if (!job->done) return {job, std::nullopt};
  }
  return {};
}

void MemberQueue::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Task task;
    jobReady_.wait(lock, [&] { return stopping_ || (task = takeTask()).job; });
    if (stopping_) return;
    lock.unlock();
    std::exception_ptr failure;
    try {
      runTask(task);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    Job& job = *task.job;
    if (failure && !job.failure) job.failure = failure;
    if (!task.task) {
      job.prepared = true;
      job.reading = false;
      // Pieces of a source whose reading failed have nothing to deflate.
      if (job.failure) job.tasks = job.tasksHandedOut;
    } else {
      ++job.tasksDone;
      if (*task.task < job.pieces.size()) job.pieceDone[*task.task] = 1;
    }
    // Once, when the preparation and every task it made are done, in
    // whichever order they end.
    const bool finished = job.prepared && job.tasksDone == job.tasks;
    if (!task.task && job.tasks > 0) jobReady_.notify_all();  // its pieces are there to take
    // The writer may be waiting for this job's preparation or this piece.
    if (!finished) jobDone_.notify_all();
    if (finished && job.tasks > 0 && !job.failure) {
      // The last task done sums up the pieces, without holding up the others.
      lock.unlock();
      try {
        finishPieces(job);
      } catch (...) {
        failure = std::current_exception();
      }
      lock.lock();
      if (failure && !job.failure) job.failure = failure;
    }
    if (finished) {
      job.done = true;
      jobDone_.notify_all();
    }
  }
}

// With the lock held: whether task `index` of a job may go out. All may
// once it is prepared; while its source is still being read, a piece once
// its bytes (and the window before them) are in; before that, none, as its
// preparation is still setting its tasks up.
bool MemberQueue::taskReady(const Job& job, size_t index) const {
  if (job.prepared) return true;
  if (!job.reading || index >= job.pieces.size()) return false;
  return job.readSoFar >= std::min<uint64_t>(job.bytes.size(), (index + 1) * static_cast<uint64_t>(pieceSize_.size));
}

// A source large enough to go in pieces, read with nothing to compare it
// with: its pieces are out to the workers as soon as their bytes are in,
// while the rest is read and the whole digested here, in order.
void MemberQueue::readInPieces(Job& job, FileStream& source, size_t size) {
  job.bytes.resize(size);
  const size_t count = pieceSize_.piecesOf(size);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job.pieced = true;
    job.pieces.resize(count);
    job.pieceDone.assign(count, 0);
    job.tasks = count;
    job.reading = true;
  }
  jobDone_.notify_all();  // the writer takes the pieces as they are done
  Sha256 digest;
  for (size_t at = 0; at < size;) {
    const size_t take = std::min(size - at, pieceSize_.size);
    source.readFixed(job.bytes.data() + at, take);
    digest.add(std::string_view(reinterpret_cast<const char*>(job.bytes.data() + at), take));
    at += take;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job.readSoFar = at;
    }
    jobReady_.notify_all();
  }
  job.digest = digest.hex();
}

// Runs on a worker; touches nothing but the job, whose pieces and digest
// each go to one task alone.
void MemberQueue::runTask(const Task& task) {
  Job& job = *task.job;
  if (!task.task) {
    prepare(job);
  } else if (*task.task < job.pieces.size()) {
    job.pieces[*task.task] =
        deflatePiece(job.bytes.data(), job.bytes.size(), *task.task, pieceSize_, writer_.m_compressionLevel);
  } else {
    job.digest = digestOf(job.bytes);
  }
}

// The writer may be taking the pieces' streams meanwhile: only their
// counts, CRCs and marks are read here.
void MemberQueue::finishPieces(Job& job) const {
  job.packed = memberOfPieces(job.pieces, writer_.m_compressionLevel);
  MemberBytes().swap(job.bytes);
}

// The record the last build left says these bytes are the ones it stored
// as this very stream: the source's settled stamp unchanged, or else its
// digest, and the member's CRC-32, size and place in the package and its
// stream's own CRC-32, all as recorded. The package is read, never trusted
// to the record: a stream that moved, changed or was damaged is no match.
//
// A source whose stamp does not vouch for it is digested as it is read, a
// block at a time, and never held whole: when it proves the same, only its
// stored stream is needed.
bool MemberQueue::reusedByDigest(Job& job, WindowedFile* here) const {
  const SourceRecord* record = known_ ? known_->find(job.name) : nullptr;
  const PackedMember& stored = *job.previous;
  const bool pieced = parallel_ && pieceSize_.piecesOf(job.stamp.size) > 0;
  if (!record || writer_.m_compressionLevel != Z_DEFAULT_COMPRESSION || record->size != job.stamp.size ||
      record->pieced != pieced || record->crc != stored.crc ||
      record->size != stored.size || stored.flag != ZipWriter::levelFlag(Z_DEFAULT_COMPRESSION) ||
      record->storedAt != stored.storedAt || record->storedSize != stored.storedSize) {
    return false;
  }
  job.reusedByStamp = SourceDigests::sameFile(*record, job.stamp);
  job.digest = job.reusedByStamp ? record->digest : sha256OfFile(*files_, job.path).value_or("");
  // A long stream is checked by the writer as it copies it.
  job.copiedInBlocks = job.digest == record->digest && stored.storedSize > copiedInBlocks_;
  if (job.digest != record->digest ||
      (!job.copiedInBlocks && (!readStored(job, here) ||
                               crcOf(job.previous->compressed) != record->storedCrc))) {
    job.previous->compressed = {};
    job.reusedByStamp = false;
    return false;
  }
  job.storedCrc = record->storedCrc;
  job.pieced = pieced;
  return true;
}

// The stored stream is taken only when it gives back exactly these bytes:
// a changed source or a damaged package is deflated afresh. A member large
// enough to go in pieces is taken only when it was deflated the way this
// build deflates it, so that the package is the one a build from scratch
// makes: a stream in pieces begins with its first piece as deflatePiece
// makes it, sync flush and all, which one pass over the member never ends
// its first megabyte with.
bool MemberQueue::reusedByInflating(Job& job, WindowedFile* here) const {
  if (job.previous->crc != crcOf(job.bytes) || !readStored(job, here) ||
      !inflatesTo(*job.previous, job.bytes.data(), job.bytes.size())) {
    return false;
  }
  if (pieceSize_.piecesOf(job.bytes.size()) == 0) return true;
  const DeflatedPiece first =
      deflatePiece(job.bytes.data(), job.bytes.size(), 0, pieceSize_, writer_.m_compressionLevel);
  const MemberBytes& stream = job.previous->compressed;
  const bool pieced = stream.size() >= first.compressed.size() &&
                      std::equal(first.compressed.begin(), first.compressed.end(), stream.begin());
  job.pieced = pieced;
  return pieced == parallel_;
}

bool MemberQueue::readStored(Job& job, WindowedFile* here) const {
  if (!previousFile_) return false;
  return here ? readStoredBytes(*here, *job.previous) : readStoredBytes(*previousFile_, *job.previous);
}

// Runs on a worker, or on the calling thread without workers; touches
// nothing but the job.
void MemberQueue::prepare(Job& job, WindowedFile* here) {
  if (job.previous && !job.path.empty() && reusedByDigest(job, here)) {
    job.reusedByDigest = true;
    job.reused = true;
    job.packed = std::move(*job.previous);
    job.previous.reset();
    return;
  }
  job.digest.clear();
  if (!job.path.empty()) {
    auto source = FileStream::open(job.path, FileMode::Read);
    if (!source) {
      job.unreadable = true;
      return;
    }
    const size_t size = static_cast<size_t>(source->size());
    if (parallel_ && !job.previous && pieceSize_.piecesOf(size) > 0) {
      readInPieces(job, *source, size);
      return;
    }
    job.bytes.resize(size);
    source->readFixed(job.bytes.data(), job.bytes.size());
  }
  const int level = writer_.m_compressionLevel;
  const bool recorded = !job.path.empty();
  // The flags name only a class of levels (8 and 9 share one), so a stream
  // is taken only at the default level, the one the builder writes and so
  // the one the package it replaces was written at.
  if (job.previous && level == Z_DEFAULT_COMPRESSION && job.previous->size == job.bytes.size() &&
      job.previous->flag == ZipWriter::levelFlag(level) && reusedByInflating(job, here)) {
    job.packed = std::move(*job.previous);
    job.reused = true;
    job.storedCrc = crcOf(job.packed.compressed);
  } else if (parallel_ && pieceSize_.piecesOf(job.bytes.size()) > 0) {
    // Its pieces, and its digest beside them, are deflated by whichever
    // workers are free; the last one done joins them.
    job.pieced = true;
    job.pieces.resize(pieceSize_.piecesOf(job.bytes.size()));
    job.pieceDone.assign(job.pieces.size(), 0);
    job.tasks = job.pieces.size() + (recorded ? 1 : 0);
    job.previous.reset();
    return;
  } else if (parallel_) {
    job.packed = deflateMember(job.bytes.data(), job.bytes.size(), level);
    job.storedCrc = crcOf(job.packed.compressed);
  }
  job.previous.reset();
  if (recorded && job.digest.empty()) job.digest = digestOf(job.bytes);
  if (parallel_ || job.reused) MemberBytes().swap(job.bytes);
}

bool MemberQueue::writePieces(Job& job, std::unique_lock<std::mutex>& lock) {
  jobDone_.wait(lock, [&] { return stopping_ || job.prepared || job.reading || job.done; });
  if (stopping_) return false;
  if (job.tasks == 0) return true;
  while (job.piecesWritten < job.pieces.size()) {
    jobDone_.wait(lock, [&] { return stopping_ || job.pieceDone[job.piecesWritten] || job.failure; });
    if (stopping_) return false;
    if (job.failure) return true;
    // A done piece is touched by no worker again, and the writer alone
    // takes its stream.
    const size_t index = job.piecesWritten;
    lock.unlock();
    DeflatedPiece& piece = job.pieces[index];
    if (index == 0) writer_.BeginPacked(job.name, piece.text ? 1 : 0, job.when);
    writer_.WritePacked(piece.compressed.data(), piece.compressed.size());
    job.streamCrc = static_cast<uint32_t>(
        crc32_combine(job.streamCrc, piece.streamCrc, static_cast<z_off_t>(piece.compressed.size())));
    job.streamSize += piece.compressed.size();
    MemberBytes().swap(piece.compressed);
    lock.lock();
    ++job.piecesWritten;
  }
  return true;
}

bool MemberQueue::writeOldest(std::unique_lock<std::mutex>& lock) {
  if (parallel_ && !writePieces(*inFlight_.front(), lock)) return false;
  jobDone_.wait(lock, [this] { return stopping_ || inFlight_.front()->done; });
  if (stopping_) return false;
  std::unique_ptr<Job> job = std::move(inFlight_.front());
  inFlight_.pop_front();
  // Only a job prepared as it was added can be oldest and not handed out.
  if (handedOut_ > 0) --handedOut_;
  heldHere_ -= job->preparedHere ? 1 : 0;
  weight_ -= job->weight;
  lock.unlock();
  if (job->failure) {
    lock.lock();
    std::rethrow_exception(job->failure);
  }
  if (!job->unreadable) {
    const bool packed = job->reused || parallel_;
    uint64_t storedAt = 0;
    if (packed) {
      uint64_t streamSize = job->packed.compressed.size();
      if (job->copiedInBlocks) {
        copyStoredStream(*job);
        streamSize = job->packed.storedSize;
      } else if (job->tasks > 0) {
        writer_.EndPacked(job->name, job->packed.size, job->packed.crc);
        streamSize = job->streamSize;
        job->storedCrc = job->streamCrc;
      } else {
        writer_.AddPacked(job->name, job->packed, job->when);
      }
      storedAt = writtenBytes_ + kLocalHeader + job->name.size();
      writtenBytes_ = storedAt + streamSize;
      job->packed.storedSize = streamSize;
    } else {
      writer_.AddBytes(job->name, job->bytes.data(), job->bytes.size(), job->when);
      layoutKnown_ = false;
    }
    reused_ += job->reused ? 1 : 0;
    reusedByDigest_ += job->reusedByDigest ? 1 : 0;
    reusedByStamp_ += job->reusedByStamp ? 1 : 0;
    ++written_;
    if (!job->path.empty()) {
      Written source;
      source.name = job->name;
      SourceDigests::stamp(source.record, job->stamp, job->stampedAt);
      source.record.size = job->reused || parallel_ ? job->packed.size : job->bytes.size();
      source.record.digest = std::move(job->digest);
      source.record.crc = job->reused || parallel_ ? job->packed.crc : crcOf(job->bytes);
      source.record.storedCrc = job->storedCrc.value_or(0);
      source.streamKnown = layoutKnown_ && job->storedCrc.has_value();
      source.record.storedAt = storedAt;
      source.record.storedSize = packed ? job->packed.storedSize : 0;
      source.record.pieced = job->pieced;
      sources_.push_back(std::move(source));
    }
  }
  lock.lock();
  return true;
}

void MemberQueue::copyStoredStream(const Job& job) {
  const PackedMember& stored = job.packed;
  const std::optional<RegularFile>& package = previousFile_;
  MemberBytes block(static_cast<size_t>(std::min<uint64_t>(stored.storedSize, kCopyBlock)));
  writer_.BeginPacked(job.name, stored.internalAttributes, job.when);
  uint32_t crc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
  bool read = package.has_value();
  for (uint64_t done = 0; read && done < stored.storedSize;) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(stored.storedSize - done, block.size()));
    read = package->readAt(stored.storedAt + done, block.data(), count);
    if (!read) break;
    crc = static_cast<uint32_t>(crc32_z(crc, block.data(), count));
    writer_.WritePacked(block.data(), count);
    done += count;
  }
  if (!read || !job.storedCrc || crc != *job.storedCrc) {
    throw StoredStreamChanged(previousPath_ + ": the stream of " + job.name + " is not the one recorded");
  }
  writer_.EndPacked(job.name, stored.size, stored.crc);
}

}  // namespace vh
