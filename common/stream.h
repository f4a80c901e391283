// Seekable byte streams over a file, a byte buffer or a block of memory.
//
// The game's formats rely on one quiet rule: a fixed-size read (an integer, a
// string of given length) that runs into the end of the data delivers the
// missing bytes as zeros and is not an error. Only a read that delivers
// nothing although data remains raises "Error reading from stream"; a write
// that cannot complete raises "Error writing to stream".
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/byte_buffer.h"

namespace vh {

class StreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kReadError = "Error reading from stream";
inline constexpr const char* kWriteError = "Error writing to stream";

class Stream {
 public:
  virtual ~Stream() = default;

  virtual int64_t position() const = 0;
  virtual int64_t size() const = 0;
  virtual void seek(int64_t position) = 0;
  bool atEnd() const { return position() >= size(); }
  int64_t remaining() const {
    const int64_t left = size() - position();
    return left > 0 ? left : 0;
  }

  // Bulk read: returns the number of bytes read, which may be short.
  size_t read(void* destination, size_t count);
  // Fixed-size read: whatever the data cannot supply comes out as zeros.
  void readFixed(void* destination, size_t count);
  uint8_t readU8();
  uint16_t readU16();
  uint32_t readU32();
  int32_t readI32() { return static_cast<int32_t>(readU32()); }
  // A string of exactly `count` bytes, zero-filled past the end. The count is
  // allocated as given: callers check it against remaining() first when it
  // comes from the file.
  std::string readString(size_t count);
  // Every byte from here to the end, or StreamError when they cannot all be
  // read: for whole files, where zeros in place of lost bytes would pass for
  // content.
  std::string readRest();
  // Bytes up to a line feed, a 0 byte or the end, none of which is kept;
  // every carriage return is dropped wherever it stands.
  std::string readLine();

  virtual void write(const void* source, size_t count) = 0;
  void writeU8(uint8_t value) { write(&value, 1); }
  void writeU16(uint16_t value);
  void writeU32(uint32_t value);
  void writeI32(int32_t value) { writeU32(static_cast<uint32_t>(value)); }
  void writeString(const std::string& bytes) { write(bytes.data(), bytes.size()); }
  // The text followed by CR LF.
  void writeLine(const std::string& bytes);

 protected:
  // Reads up to `count` bytes; returns how many were read (0 at the end).
  virtual size_t readSome(void* destination, size_t count) = 0;
};

// The most a file is handed in one write. A write of many megabytes costs
// the kernel more than the same bytes in blocks (over twice the processor
// time, measured on Linux 6 writing 4 MiB files from memory filled long
// before), so large writes go in blocks of this size.
inline constexpr size_t kWriteBlock = 256u << 10;

enum class FileMode {
  Read,       // the file must exist
  Write,      // created or truncated
  ReadWrite,  // the file must exist
};

class FileStream final : public Stream {
 public:
  // Null when the file cannot be opened in that mode. For reading it must be
  // a regular file (RegularFile): a pipe or a device is never opened.
  static std::unique_ptr<FileStream> open(const std::string& path, FileMode mode);
  // A stream over a descriptor the caller opened its own way (a new file
  // made by the platform's calls), which the stream owns from here on. Null,
  // with the descriptor closed, when it is a folder or cannot be used.
  static std::unique_ptr<FileStream> adopt(int fd, FileMode mode);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  int64_t position() const override { return position_; }
  int64_t size() const override { return size_; }
  void seek(int64_t position) override;
  void write(const void* source, size_t count) override;

  // Pushes buffered bytes to the operating system and, with `durable`, on to
  // the disk; throws the write error when either fails.
  void flush(bool durable = false);
  // Closes the file; throws the write error when buffered bytes cannot be
  // written, which a destructor would have to swallow.
  void close();

 protected:
  size_t readSome(void* destination, size_t count) override;

 private:
  enum class LastOp { None, Read, Write };
  FileStream(std::FILE* file, int64_t size);
  static std::unique_ptr<FileStream> over(std::FILE* file);
  void switchTo(LastOp op);

  std::FILE* file_;
  int64_t position_ = 0;
  int64_t size_ = 0;
  LastOp lastOp_ = LastOp::None;
};

// A readable and writable stream over a shared byte buffer; writes grow it.
class BufferStream final : public Stream {
 public:
  explicit BufferStream(ByteBufferPtr buffer) : buffer_(std::move(buffer)) {}
  int64_t position() const override { return position_; }
  int64_t size() const override { return static_cast<int64_t>(buffer_->size()); }
  void seek(int64_t position) override;
  void write(const void* source, size_t count) override;
  const ByteBufferPtr& buffer() const { return buffer_; }

 protected:
  size_t readSome(void* destination, size_t count) override;

 private:
  ByteBufferPtr buffer_;
  int64_t position_ = 0;
};

// A stream over a block of memory the caller owns. Its size is fixed; a
// block given as const is read-only and refuses every write.
class MemoryStream final : public Stream {
 public:
  MemoryStream(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), writable_(nullptr), size_(size) {}
  MemoryStream(void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), writable_(static_cast<uint8_t*>(data)), size_(size) {}
  int64_t position() const override { return position_; }
  int64_t size() const override { return static_cast<int64_t>(size_); }
  void seek(int64_t position) override;
  void write(const void* source, size_t count) override;

 protected:
  size_t readSome(void* destination, size_t count) override;

 private:
  const uint8_t* data_;
  uint8_t* writable_;
  size_t size_;
  int64_t position_ = 0;
};

}  // namespace vh
