// Zip packages through minizip: ZipReader hands out members as in-memory
// streams or copies them to disk; ZipWriter stores files and streams as
// deflated, time-stamped members. Both keep the package's member list.
#pragma once

#include <cstdint>
#include <ctime>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/files.h"
#include "common/large_blocks.h"
#include "common/stream.h"
#include "support/known_stream.h"
#include "support/read_windows.h"
#include "support/zip_directory.h"

// minizip's table of file functions, which ZipWriter may be given.
struct zlib_filefunc64_def_s;

namespace vh {

class BufferedZipInput;
class BufferedZipOutput;

class FileSystem;
class Reporter;

// A byte vector whose resize leaves the new bytes unset: members of many
// megabytes are read or deflated straight into it, and filling them with
// zeros first costs about as much as the copy itself. Those of many
// megabytes take large pages where the system has them (allocateLarge).
template <typename T>
struct UnfilledAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UnfilledAllocator<U>;
  };
  UnfilledAllocator() = default;
  template <typename U>
  UnfilledAllocator(const UnfilledAllocator<U>&) noexcept {}
  [[nodiscard]] T* allocate(size_t count) {
    if (count > std::allocator_traits<std::allocator<T>>::max_size(*this)) throw std::bad_array_new_length();
    if (count > kLargeBlock / sizeof(T)) return static_cast<T*>(allocateLarge(count * sizeof(T)));
    return std::allocator<T>::allocate(count);
  }
  void deallocate(T* block, size_t count) noexcept {
    if (count > kLargeBlock / sizeof(T)) return freeLarge(block, count * sizeof(T));
    std::allocator<T>::deallocate(block, count);
  }
  template <typename U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <typename U, typename... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};
using MemberBytes = std::vector<uint8_t, UnfilledAllocator<uint8_t>>;

// A stream over bytes it owns. It never grows; a stream that is not
// readable reads nothing and one that is not writable refuses writes.
class ZipRamStream final : public Stream {
 public:
  static std::shared_ptr<ZipRamStream> ZCreate(size_t size, int readable, int writable);
  // A readable stream of `size` bytes left unset, for a caller that fills
  // every one through data() before it is read: a member of tens of
  // megabytes is inflated straight into large pages, not zeroed first a
  // small page at a time.
  static std::shared_ptr<ZipRamStream> unfilled(size_t size);

  int64_t position() const override { return position_; }
  int64_t size() const override { return static_cast<int64_t>(_data.size()); }
  void seek(int64_t position) override { position_ = position < 0 ? 0 : position; }
  void write(const void* source, size_t count) override;
  uint8_t* data() { return _data.data(); }

 protected:
  size_t readSome(void* destination, size_t count) override;

 private:
  MemberBytes _data;
  int64_t position_ = 0;
  bool readable_ = true;
  bool writable_ = false;
};

// A member inflated as it is read, a block at a time, so that a member far
// larger than memory can be read through: forward only, and read-only. Its
// reader is busy with it while it lives.
class ZipInflateStream final : public Stream {
 public:
  ~ZipInflateStream() override;
  ZipInflateStream(const ZipInflateStream&) = delete;
  ZipInflateStream& operator=(const ZipInflateStream&) = delete;

  int64_t position() const override { return position_; }
  // The size the package's directory records; where the member stopped, once
  // it proved damaged, so that a reader of it meets its end there.
  int64_t size() const override { return size_; }
  // Forward only: the bytes passed over are read through. A seek back is a
  // read error.
  void seek(int64_t position) override;
  void write(const void* source, size_t count) override;

  // Reads what is left without keeping it and closes the member: true when
  // it inflated in full to its recorded size and its CRC-32 matched.
  [[nodiscard]] bool finish();

 protected:
  size_t readSome(void* destination, size_t count) override;

 private:
  friend class ZipReader;
  ZipInflateStream(void* handle, int64_t size) : handle_(handle), size_(size) {}
  void close();

  void* handle_;  // the reader's, with this member open; null once closed
  int64_t position_ = 0;
  int64_t size_;
  bool damaged_ = false;
};

// A member as the package stores it: the raw deflate stream, with the
// uncompressed size and CRC-32 that the zip directory records beside it.
struct PackedMember {
  MemberBytes compressed;
  uint64_t size = 0;
  uint32_t crc = 0;
  uint16_t flag = 0;  // the general-purpose flag it was stored with
  // minizip marks a member text (1) when deflate took its first block for
  // text; the mark is part of the package's bytes.
  uint16_t internalAttributes = 0;
  // Where the stream stands in the package it was found in, and its length;
  // `compressed` stays empty until readStoredBytes fetches it.
  uint64_t storedAt = 0;
  uint64_t storedSize = 0;
};

// Deflates the bytes into the very stream minizip's own writer makes of
// them at `level` (raw deflate, its window and memory level), so that a
// member deflated here and one deflated by the writer are the same bytes.
// Needs no package, so that members can be deflated on other threads.
[[nodiscard]] PackedMember deflateMember(const uint8_t* bytes, size_t count, int level);
// Reads the stream that LocatePacked found in `package` into `compressed`;
// false when the file no longer holds that many bytes there.
[[nodiscard]] bool readStoredBytes(const std::string& package, PackedMember& member);
// The same from the package already open, as many threads at once may.
[[nodiscard]] bool readStoredBytes(const RegularFile& package, PackedMember& member);
// The same through windows, for one thread reading member after member in
// the order they lie.
[[nodiscard]] bool readStoredBytes(WindowedFile& package, PackedMember& member);
// True when the member's stream inflates to exactly these bytes and ends
// there.
[[nodiscard]] bool inflatesTo(const PackedMember& member, const uint8_t* bytes, size_t count);

// Replaces the file at `path` (through its links) with the member's bytes,
// written in blocks of 4096; false, and the old file untouched, when the
// file may not or cannot be written.
[[nodiscard]] bool writeToDisk(FileSystem& files, ZipRamStream& member, const std::string& path);

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

 protected:
  // The list is read when first asked for: a package opened to look its
  // members up by name (every build and installation) is not walked once
  // more for it.
  void readFileListLater() { m_listUnread = true; }

 private:
  const TZipFileList* fileList() const;
  mutable bool m_listUnread = false;
};

class ZipReader : public ZipFile {
 public:
  // The most a member may inflate to before it is refused unread: deflate
  // cannot expand more than 1032 times, and no package member of ours comes
  // near a gigabyte.
  static constexpr uint64_t kMaxExpansion = 1032;
  static constexpr uint64_t kMaxMemberSize = 1ull << 30;

  // What a look-up of a member found.
  enum class Member {
    Missing,  // the package's directory does not name it
    Sound,    // it inflates in full and its CRC-32 matches
    Damaged,  // it is named but cannot be read back as it was stored
  };

  ZipReader();
  ~ZipReader() override;
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  // 1 when the package and its whole central directory could be read.
  int OpenZip(const std::string& path);
  // Why the last OpenZip refused a package it could read, for a debug line;
  // "" when it did not.
  const std::string& refusal() const { return m_refusal; }
  // The member's bytes at position 0, read-only; null when the member is
  // missing, cannot be opened, does not inflate in full or fails its CRC.
  std::shared_ptr<ZipRamStream> ExtractFile(const std::string& name, int caseSensitive, const std::string& password);
  // The member as a stream that inflates as it is read (ZipInflateStream);
  // null when it is missing or cannot be opened. Nothing else may be read
  // from the package while the stream lives.
  std::unique_ptr<ZipInflateStream> ExtractStream(const std::string& name, int caseSensitive,
                                                  const std::string& password);
  // Reads the member through in blocks without keeping it, so that a package
  // can be checked whole before anything is taken from it.
  Member CheckFile(const std::string& name, int caseSensitive, const std::string& password);
  // As CheckFile, but Sound without inflating when the member is the stream
  // `known` describes: found as CheckFile finds it, deflated and not
  // encrypted, its directory recording that size and CRC-32, its stream
  // where `known` puts it, and the stream's own bytes, read from the file
  // now, of the CRC-32 `known` gives: the very bytes that writer deflated,
  // or copied after checking them against a stream it had deflated. A
  // stream that differs in any of these is inflated as CheckFile does.
  Member CheckFile(const std::string& name, int caseSensitive, const std::string& password, const KnownStream& known);
  // Replaces `outPath` with the member, atomically, through `files`; a
  // member that cannot be extracted leaves any file there untouched.
  // Returns 0; what went wrong goes to `report`'s debug log.
  int ExtractFileToDisk(FileSystem& files, Reporter& report, const std::string& name, const std::string& outPath,
                        int caseSensitive, const std::string& password);
  int CloseZip();
  // The member's uncompressed size as the package's directory records it,
  // which is what ExtractFile would allocate; -1 when it is missing. Lets a
  // caller refuse a member before it is extracted.
  int64_t memberSize(const std::string& name, int caseSensitive);
  // The member's uncompressed size and CRC-32 as the package's directory
  // records them, and where its stream lies, read without inflating it;
  // nothing when it is missing or its entry cannot be read. Only a check
  // that inflated it whole (as the loader's) vouches that its bytes have
  // them. Two readers of one file record the same for every member.
  struct Recorded {
    uint64_t size = 0;
    uint32_t crc = 0;
    uint64_t dataAt = 0;  // where its stream starts in the file
    uint64_t packed = 0;  // the stream's length
    bool operator==(const Recorded&) const = default;
  };
  std::optional<Recorded> memberRecord(const std::string& name, int caseSensitive);
  // About what the reader keeps in memory for its look-ups and its
  // directory while the package is open: a package of many small members
  // costs a few times its size here, and its loader counts that too.
  uint64_t indexBytes() const;
  // Where the member's deflate stream lies, with what the directory says of
  // it, found by its exact name; nothing for a member that is missing,
  // damaged, encrypted, not deflated or not written by ZipWriter (another
  // maker, attributes or extra fields). The bytes are fetched later with
  // readStoredBytes, from any thread, and checked by whoever takes them.
  std::optional<PackedMember> LocatePacked(const std::string& name);

 private:
  // What the walk over the directory read of a member, kept so that a
  // look-up needing only this reads nothing of the package again (minizip
  // would seek and read the entry, and the local header, a block at a time).
  struct Entry {
    // Where minizip finds its entry again without a walk.
    uint64_t directoryOffset = 0;
    uint64_t number = 0;
    uint64_t packed = 0;
    uint64_t size = 0;
    uint64_t dataAt = 0;  // where its stream starts in the file
    uint32_t crc = 0;
    uint32_t externalAttributes = 0;
    uint16_t method = 0;
    uint16_t flag = 0;
    uint16_t madeBy = 0;
    uint16_t internalAttributes = 0;
    bool extraFields = false;  // in its directory entry or its local header
  };

  // Indexes the members by name, refusing a directory that cannot be read
  // whole or whose members share their bytes.
  bool indexMembers(const std::string& path);
  // The member's entry by name, without reading the package; null when the
  // directory does not name it.
  const Entry* findEntry(const std::string& name, int caseSensitive) const;
  // Goes to the member through the directory index and reads its sizes:
  // Missing, Damaged when its directory entry cannot be read, or Sound.
  Member locateMember(const std::string& name, int caseSensitive, uint64_t& packed, uint64_t& size);
  Member openMember(const std::string& name, int caseSensitive, const std::string& password, uint64_t& size);
  bool readMember(uint8_t* destination, uint64_t size);
  // Whether the entry's stream, read from the file, has the CRC-32 `crc`.
  bool storedCrcIs(const Entry& entry, uint32_t crc) const;

  void* m_zipFile = nullptr;
  // The file the walk over the directory read, open as long as the package
  // is: stored streams are read from it, not from a file opened again by
  // its name, which could since lead elsewhere.
  std::optional<RegularFile> m_file;
  // What minizip reads the package through, as long as it is open.
  std::unique_ptr<BufferedZipInput> m_input;
  // Member names as stored (up to a zero byte, as minizip compares them),
  // and lower-cased A-Z for the look-ups that ignore case, each to its
  // entry; the first member of a name wins, as in a walk from the start of
  // the directory.
  std::vector<Entry> m_entries;
  std::unordered_map<std::string, size_t> m_byName;
  std::unordered_map<std::string, size_t> m_byLowerName;
  std::string m_refusal;
};

class ZipWriter : public ZipFile {
 public:
  ZipWriter();
  ~ZipWriter() override;
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  int32_t m_compressionLevel = -1;
  // The functions minizip writes the package through; null for the plain
  // file. Tests give functions that fail at a chosen byte.
  zlib_filefunc64_def_s* m_fileFunctions = nullptr;
  // A new package is written over the file at its path, cut to length at
  // the close (see openZipForWriting); false makes the file anew.
  bool m_writeOver = false;

  // Opening clears the error state of any earlier package.
  int OpenZip(const std::string& path, int append);
  int SetCompressionLevel(int level);
  // Stores the file under its own path, stamped with its modification time.
  int AddFile(const std::string& path, const std::string& password);
  // Stores the stream's bytes from position 0, stamped with the current time.
  int AddStream(Stream* stream, const std::string& name, const std::string& password);
  // Stores bytes held in memory, deflated by minizip, stamped with `when`.
  int AddBytes(const std::string& name, const uint8_t* bytes, size_t count, const std::tm& when);
  // Stores a member deflated beforehand (deflateMember) or taken from
  // another package as it is; the package is the same as if its bytes had
  // been given to AddBytes at the same level.
  int AddPacked(const std::string& name, const PackedMember& member, const std::tm& when);
  // AddPacked for a stream handed over as it is made: BeginPacked writes
  // the member's header (with minizip's text mark, `internalAttributes`),
  // WritePacked each part of the stream in order, EndPacked its size and
  // CRC-32 into both headers. Nothing else may be added in between.
  int BeginPacked(const std::string& name, uint16_t internalAttributes, const std::tm& when);
  int WritePacked(const uint8_t* bytes, size_t count);
  int EndPacked(const std::string& name, uint64_t size, uint32_t crc);
  // The general-purpose flag minizip gives a member deflated at `level`.
  static uint16_t levelFlag(int level);
  // What AddFile and AddStream stamp on their members: the moment in the
  // user's time zone, within the years a zip stamp holds.
  static std::tm stampOf(std::time_t moment);
  static std::tm fileTime(const std::string& path);
  static std::tm timeNow();
  // Writes the directory, closes the file and syncs it to the disk.
  int CloseZip(const std::string& comment);
  // True once any write of the package has failed: opening a member,
  // writing its bytes, closing the package or syncing it. The first failure
  // stops every later write, so a failed package is never mistaken for a
  // shorter whole one; the caller abandons the file.
  [[nodiscard]] bool failed() const { return m_error != 0; }
  // minizip's code (or -1 for a failed sync) of the first failure; 0 without.
  int error() const { return m_error; }

 private:
  void noteResult(int result) {
    if (m_error == 0 && result != 0) m_error = result;
  }
  int addBytes(const std::string& name, const uint8_t* bytes, size_t count, const std::tm& when,
               const std::string& password);
  void recordMember(const std::string& name);
  // Starts a sync of what the system has of a new package on a thread of
  // its own, when kSyncAhead bytes more went to it since the last one began
  // and that one is done: the sync at the close then waits only for what
  // came after, while the package was still being written.
  void syncAhead();
  void* m_zipFile = nullptr;
  // What minizip writes a new package through, as long as it is open.
  std::unique_ptr<BufferedZipOutput> m_output;
  int m_error = 0;
  static constexpr uint64_t kSyncAhead = uint64_t{4} << 20;
  uint64_t m_syncedAhead = 0;  // where the last sync ahead began
  // Its outcome does not count: the sync at the close is the one that does.
  std::future<bool> m_syncing;
};

}  // namespace vh
