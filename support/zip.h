// Zip packages through minizip: ZipReader hands out members as in-memory
// streams or copies them to disk; ZipWriter stores files and streams as
// deflated, time-stamped members. Both keep the package's member list.
#pragma once

#include <cstdint>
#include <ctime>
#include <vector>
#include <memory>
#include <string>

#include "common/stream.h"
#include "support/zip_directory.h"

namespace vh {

// A stream over bytes it owns. It never grows; a stream that is not
// readable reads nothing and one that is not writable refuses writes.
class ZipRamStream final : public Stream {
 public:
  static std::shared_ptr<ZipRamStream> ZCreate(size_t size, int readable, int writable);

  int64_t position() const override { return position_; }
  int64_t size() const override { return static_cast<int64_t>(_data.size()); }
  void seek(int64_t position) override { position_ = position < 0 ? 0 : position; }
  void write(const void* source, size_t count) override;
  uint8_t* data() { return _data.data(); }

 protected:
  size_t readSome(void* destination, size_t count) override;

 private:
  std::vector<uint8_t> _data;
  int64_t position_ = 0;
  bool readable_ = true;
  bool writable_ = false;
};

// Replaces the file at `path` (through its links) with the member's bytes,
// written in blocks of 4096; false, and the old file untouched, when the
// file may not or cannot be written.
[[nodiscard]] bool writeToDisk(ZipRamStream& member, const std::string& path);

class ZipFile {
 public:
  virtual ~ZipFile() = default;
  std::string m_name;
  std::shared_ptr<TZipFileList> m_zipFileList;

  virtual int readFileList();
  virtual int clearFileList();
  virtual int getFileCount() const;
  virtual void setName(const std::string& name) { m_name = name; }
  virtual std::string getName() const { return m_name; }
  // Throws the directory's runtime error for a bad position or no directory.
  virtual SZipFileEntryPtr getFileInfo(int index) const;
  virtual SZipFileEntryPtr getFileInfoByName(const std::string& name) const;
};

class ZipReader : public ZipFile {
 public:
  // The most a member may inflate to before it is refused unread: deflate
  // cannot expand more than 1032 times, and no package member of ours comes
  // near a gigabyte.
  static constexpr uint64_t kMaxExpansion = 1032;
  static constexpr uint64_t kMaxMemberSize = 1ull << 30;

  ZipReader() = default;
  ~ZipReader() override;
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  int OpenZip(const std::string& path);
  // The member's bytes at position 0, read-only; null when the member is
  // missing, cannot be opened, does not inflate in full or fails its CRC.
  std::shared_ptr<ZipRamStream> ExtractFile(const std::string& name, int caseSensitive, const std::string& password);
  // Replaces `outPath` with the member, atomically; a member that cannot be
  // extracted leaves any file there untouched. Returns 0; what went wrong
  // goes to the debug log.
  int ExtractFileToDisk(const std::string& name, const std::string& outPath, int caseSensitive,
                        const std::string& password);
  int CloseZip();

 private:
  void* m_zipFile = nullptr;
};

class ZipWriter : public ZipFile {
 public:
  ZipWriter() = default;
  ~ZipWriter() override;
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  int32_t m_compressionLevel = -1;

  int OpenZip(const std::string& path, int append);
  int SetCompressionLevel(int level);
  // Stores the file under its own path, stamped with its modification time.
  int AddFile(const std::string& path, const std::string& password);
  // Stores the stream's bytes from position 0, stamped with the current time.
  int AddStream(Stream* stream, const std::string& name, const std::string& password);
  int CloseZip(const std::string& comment);

 private:
  int addBytes(const std::string& name, const std::vector<uint8_t>& bytes, const std::tm& when,
               const std::string& password);
  void* m_zipFile = nullptr;
};

}  // namespace vh
