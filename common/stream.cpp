#include "common/stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/bytes.h"
#include "common/disk_sync.h"
#include "common/files.h"
#include "common/little_endian.h"

namespace vh {

size_t Stream::read(void* destination, size_t count) {
  if (count == 0) return 0;
  const size_t got = readSome(destination, count);
  if (got == 0 && !atEnd()) throw StreamError(kReadError);
  return got;
}

void Stream::readFixed(void* destination, size_t count) {
  if (count == 0) return;
  auto* out = static_cast<uint8_t*>(destination);
  size_t done = 0;
  while (done < count && !atEnd()) {
    done += read(out + done, count - done);
  }
  // An empty vector's data() may be null, and memset wants a real pointer
  // even for no bytes.
  if (done < count) std::memset(out + done, 0, count - done);
}

uint8_t Stream::readU8() {
  uint8_t value = 0;
  readFixed(&value, 1);
  return value;
}

uint16_t Stream::readU16() {
  uint8_t b[2];
  readFixed(b, 2);
  return loadLE16(b);
}

uint32_t Stream::readU32() {
  uint8_t b[4];
  readFixed(b, 4);
  return loadLE32(b);
}

std::string Stream::readString(size_t count) {
  std::string bytes(count, '\0');
  readFixed(bytes.data(), count);
  return bytes;
}

std::string Stream::readRest() {
  std::string bytes(static_cast<size_t>(remaining()), '\0');
  for (size_t done = 0; done < bytes.size();) {
    const size_t got = read(bytes.data() + done, bytes.size() - done);
    if (got == 0) throw StreamError(kReadError);
    done += got;
  }
  return bytes;
}

std::string Stream::readLine() {
  std::string line;
  while (!atEnd()) {
    char c = 0;
    if (read(&c, 1) == 0) break;
    if (c == '\n' || c == '\0') break;
    if (c != '\r') line.push_back(c);
  }
  return line;
}

void Stream::writeU16(uint16_t value) {
  uint8_t b[2];
  storeLE16(b, value);
  write(b, 2);
}

void Stream::writeU32(uint32_t value) {
  uint8_t b[4];
  storeLE32(b, value);
  write(b, 4);
}

void Stream::writeLine(const std::string& bytes) {
  writeString(bytes);
  write("\r\n", 2);
}

// ---- FileStream

std::unique_ptr<FileStream> FileStream::open(const std::string& path, FileMode mode) {
  if (mode == FileMode::Read) {
    // Whatever is read may have been put there by anyone: only a regular
    // file is opened, and never in a way that could block.
    auto regular = RegularFile::open(path);
    if (!regular) return nullptr;
    return adopt(regular->release(), mode);
  }
  std::FILE* file = std::fopen(toSlashes(path).c_str(), mode == FileMode::Write ? "wb" : "r+b");
  if (!file) return nullptr;
  return over(file);
}

std::unique_ptr<FileStream> FileStream::adopt(int fd, FileMode mode) {
  std::FILE* file = fdopen(fd, mode == FileMode::Read ? "rb" : mode == FileMode::Write ? "wb" : "r+b");
  if (!file) {
    ::close(fd);
    return nullptr;
  }
  return over(file);
}

std::unique_ptr<FileStream> FileStream::over(std::FILE* file) {
  // A folder opens under Linux but cannot be read; it is no file to us.
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return std::unique_ptr<FileStream>(new FileStream(file, static_cast<int64_t>(info.st_size)));
}

FileStream::FileStream(std::FILE* file, int64_t size) : file_(file), size_(size) {
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

FileStream::~FileStream() {
  if (file_) std::fclose(file_);
}

void FileStream::switchTo(LastOp op) {
  // C streams need a positioning call between reading and writing.
  if (lastOp_ != LastOp::None && lastOp_ != op) fseeko(file_, position_, SEEK_SET);
  lastOp_ = op;
}

void FileStream::seek(int64_t position) {
  if (position < 0) position = 0;
  if (fseeko(file_, position, SEEK_SET) != 0) throw StreamError(kReadError);
  position_ = position;
  lastOp_ = LastOp::None;
}

size_t FileStream::readSome(void* destination, size_t count) {
  switchTo(LastOp::Read);
  const size_t got = std::fread(destination, 1, count, file_);
  position_ += static_cast<int64_t>(got);
  return got;
}

void FileStream::write(const void* source, size_t count) {
  if (count == 0) return;
  switchTo(LastOp::Write);
  const auto* bytes = static_cast<const char*>(source);
  for (size_t done = 0; done < count;) {
    const size_t block = std::min(count - done, kWriteBlock);
    const size_t put = std::fwrite(bytes + done, 1, block, file_);
    done += put;
    position_ += static_cast<int64_t>(put);
    size_ = std::max(size_, position_);
    if (put != block) throw StreamError(kWriteError);
  }
}

void FileStream::flush(bool durable) {
  if (std::fflush(file_) != 0) throw StreamError(kWriteError);
  if (durable && !syncDescriptor(fileno(file_))) throw StreamError(kWriteError);
}

void FileStream::close() {
  if (!file_) return;
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) throw StreamError(kWriteError);
}

// ---- BufferStream

void BufferStream::seek(int64_t position) { position_ = std::max<int64_t>(position, 0); }

size_t BufferStream::readSome(void* destination, size_t count) {
  const int64_t left = size() - position_;
  if (left <= 0) return 0;
  const size_t n = std::min<size_t>(count, static_cast<size_t>(left));
  std::memcpy(destination, buffer_->data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

void BufferStream::write(const void* source, size_t count) {
  if (count == 0) return;
  const size_t end = static_cast<size_t>(position_) + count;
  std::vector<uint8_t>& bytes = buffer_->bytes();
  if (static_cast<size_t>(position_) == bytes.size()) {
    // Appending, as a whole archive is saved: the bytes go straight in,
    // without first filling the new room with zeros.
    const auto* from = static_cast<const uint8_t*>(source);
    bytes.insert(bytes.end(), from, from + count);
  } else {
    if (end > bytes.size()) bytes.resize(end);
    std::memcpy(bytes.data() + position_, source, count);
  }
  position_ = static_cast<int64_t>(end);
}

// ---- MemoryStream

void MemoryStream::seek(int64_t position) { position_ = std::max<int64_t>(position, 0); }

size_t MemoryStream::readSome(void* destination, size_t count) {
  const int64_t left = static_cast<int64_t>(size_) - position_;
  if (left <= 0) return 0;
  const size_t n = std::min<size_t>(count, static_cast<size_t>(left));
  std::memcpy(destination, data_ + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

void MemoryStream::write(const void* source, size_t count) {
  if (count == 0) return;
  const int64_t left = static_cast<int64_t>(size_) - position_;
  if (!writable_ || left < static_cast<int64_t>(count)) throw StreamError(kWriteError);
  std::memcpy(writable_ + position_, source, count);
  position_ += static_cast<int64_t>(count);
}

}  // namespace vh
