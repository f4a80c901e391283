#include "support/zip.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "common/bytes.h"
#include "common/calendar.h"
#include "common/disk_sync.h"
#include "common/files.h"
#include "common/file_system.h"
#include "common/report.h"
#include "support/buffered_zip_file.h"
#include "support/zip_files.h"
#include "support/zip_layout.h"

namespace vh {

// ---- ZipRamStream

std::shared_ptr<ZipRamStream> ZipRamStream::ZCreate(size_t size, int readable, int writable) {
  auto stream = std::make_shared<ZipRamStream>();
  stream->_data.assign(size, 0);
  stream->readable_ = readable != 0;
  stream->writable_ = writable != 0;
  return stream;
}

std::shared_ptr<ZipRamStream> ZipRamStream::unfilled(size_t size) {
  auto stream = std::make_shared<ZipRamStream>();
  stream->_data.resize(size);
  return stream;
}

size_t ZipRamStream::readSome(void* destination, size_t count) {
  if (!readable_ || position_ >= size()) return 0;
  const size_t n = std::min<size_t>(count, static_cast<size_t>(size() - position_));
  std::memcpy(destination, _data.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

void ZipRamStream::write(const void* source, size_t count) {
  if (count == 0) return;
  if (!writable_ || position_ + static_cast<int64_t>(count) > size()) throw StreamError(kWriteError);
  std::memcpy(_data.data() + position_, source, count);
  position_ += static_cast<int64_t>(count);
}

// ---- ZipInflateStream

ZipInflateStream::~ZipInflateStream() { close(); }

void ZipInflateStream::close() {
  if (!handle_) return;
  if (unzCloseCurrentFile(static_cast<unzFile>(handle_)) != UNZ_OK) damaged_ = true;
  handle_ = nullptr;
}

size_t ZipInflateStream::readSome(void* destination, size_t count) {
  if (!handle_ || damaged_ || position_ >= size_) return 0;
  const auto want = static_cast<unsigned>(std::min<int64_t>({static_cast<int64_t>(count), size_ - position_, 1 << 30}));
  const int got = unzReadCurrentFile(static_cast<unzFile>(handle_), destination, want);
  if (got <= 0) {
    // Inflating failed, or the data ended before the recorded size: the
    // member ends here for whoever reads it, and finish() says why.
    damaged_ = true;
    size_ = position_;
    return 0;
  }
  position_ += got;
  return static_cast<size_t>(got);
}

void ZipInflateStream::seek(int64_t position) {
  if (position < position_) throw StreamError(kReadError);
  char block[1 << 14];
  while (position_ < position && position_ < size_) {
    if (read(block, static_cast<size_t>(std::min<int64_t>(sizeof block, position - position_))) == 0) break;
  }
}

void ZipInflateStream::write(const void*, size_t) { throw StreamError(kWriteError); }

bool ZipInflateStream::finish() {
  seek(size_);
  // Closing the member checks its CRC-32 once all of it has been read.
  close();
  return !damaged_;
}

// ---- ZipFile

int ZipFile::readFileList() {
  clearFileList();
  if (m_name.empty() || fileSize(m_name) <= 0) return 0;
  auto stream = FileStream::open(m_name, FileMode::Read);
  if (!stream) return 0;
  m_zipFileList = TZipFileList::create(stream.get(), 0, 0);
  m_zipFileList->zipFile = nullptr;  // the stream closes here
  return 0;
}

int ZipFile::clearFileList() {
  m_zipFileList.reset();
  m_listUnread = false;
  return 0;
}

const TZipFileList* ZipFile::fileList() const {
  if (m_listUnread) {
    m_listUnread = false;
    const_cast<ZipFile*>(this)->readFileList();
  }
  return m_zipFileList.get();
}

int ZipFile::getFileCount() const { return fileList() ? fileList()->getFileCount() : 0; }

SZipFileEntryPtr ZipFile::getFileInfo(int index) const {
  if (!fileList()) throw std::runtime_error("TZipReader.getFileInfo(): Invalid index " + std::to_string(index));
  return fileList()->getFileInfo(index);
}

SZipFileEntryPtr ZipFile::getFileInfoByName(const std::string& name) const {
  return fileList() ? fileList()->findFile(name) : nullptr;
}

// ---- ZipReader

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() { CloseZip(); }

int ZipReader::OpenZip(const std::string& path) {
  m_refusal.clear();
  // minizip opens by name and would block on a pipe or read a device
  // without end: a package is a regular file.
  if (fileKind(path) != FileKind::File) return 0;
  auto input = std::make_unique<BufferedZipInput>();
  unzFile handle = openZipForReading(path, input.get());
  if (!handle) return 0;
  CloseZip();
  m_zipFile = handle;
  m_input = std::move(input);
  if (!indexMembers(path)) {
    CloseZip();
    return 0;
  }
  m_name = path;
  readFileListLater();
  return 1;
}

bool ZipReader::indexMembers(const std::string& path) {
  unzFile handle = static_cast<unzFile>(m_zipFile);
  m_entries.clear();
  m_byName.clear();
  m_byLowerName.clear();
  // A name field holds at most 65535 bytes; one more for minizip's zero.
  std::vector<char> name(0x10000);
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(handle, &global) != UNZ_OK) return false;
  // Every member's place in the file, read beside minizip's walk.
  auto file = RegularFile::open(path);
  const auto end = file ? findZipEnd(*file) : std::nullopt;
  if (!end) return false;
  WindowedFile headers(*file);
  std::vector<ByteRange> ranges;
  uint64_t walked = 0;
  int at = unzGoToFirstFile(handle);
  for (; at == UNZ_OK; at = unzGoToNextFile(handle), ++walked) {
    unz_file_info64 info{};
    unz64_file_pos position{};
    if (unzGetCurrentFileInfo64(handle, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0, nullptr, 0) !=
            UNZ_OK ||
        unzGetFilePos64(handle, &position) != UNZ_OK) {
      return false;
    }
    const auto place = memberRange(headers, *end,
                                   {position.pos_in_zip_directory, info.compressed_size,
                                    static_cast<uint16_t>(info.size_filename)});
    if (!place) return false;
    ranges.push_back(place->range);
    Entry entry;
    entry.directoryOffset = position.pos_in_zip_directory;
    entry.number = position.num_of_file;
    entry.packed = info.compressed_size;
    entry.size = info.uncompressed_size;
    entry.dataAt = place->dataAt;
    entry.crc = static_cast<uint32_t>(info.crc);
    entry.externalAttributes = static_cast<uint32_t>(info.external_fa);
    entry.method = static_cast<uint16_t>(info.compression_method);
    entry.flag = static_cast<uint16_t>(info.flag);
    entry.madeBy = static_cast<uint16_t>(info.version);
    entry.internalAttributes = static_cast<uint16_t>(info.internal_fa);
    entry.extraFields = info.size_file_extra != 0 || place->localExtra;
    const std::string stored(name.data());
    if (m_byName.try_emplace(stored, m_entries.size()).second |
        m_byLowerName.try_emplace(lowerCase(stored), m_entries.size()).second) {
      m_entries.push_back(entry);
    }
  }
  // Anything but the end of the list is a directory that cannot be read,
  // except where the end record's 16-bit count is full: minizip then walks
  // on until an entry does not start like one, which is where such a
  // directory ends.
  constexpr uint64_t kFullCount = 0xFFFF;
  if (at != UNZ_END_OF_LIST_OF_FILE && !(global.number_entry == kFullCount && walked >= kFullCount)) return false;
  // Members that share their bytes would let a small package unfold into
  // many large files; a member's data is its own.
  if (membersShareBytes(std::move(ranges), end->directoryStart)) {
    m_refusal = path + ": members share their bytes, or one reaches into the directory";
    return false;
  }
  m_entries.shrink_to_fit();
  m_file = std::move(file);
  return true;
}

const ZipReader::Entry* ZipReader::findEntry(const std::string& name, int caseSensitive) const {
  if (!m_zipFile) return nullptr;
  // Names are compared as minizip compares them, up to a zero byte.
  const std::string wanted(name.c_str());
  const auto& index = caseSensitive ? m_byName : m_byLowerName;
  const auto found = index.find(caseSensitive ? wanted : lowerCase(wanted));
  return found == index.end() ? nullptr : &m_entries[found->second];
}

ZipReader::Member ZipReader::locateMember(const std::string& name, int caseSensitive, uint64_t& packed,
                                          uint64_t& size) {
  const Entry* entry = findEntry(name, caseSensitive);
  if (!entry) return Member::Missing;
  unzFile handle = static_cast<unzFile>(m_zipFile);
  unz64_file_pos position{};
  position.pos_in_zip_directory = entry->directoryOffset;
  position.num_of_file = entry->number;
  // Going there reads the entry again, as the walk read it.
  if (unzGoToFilePos64(handle, &position) != UNZ_OK) return Member::Damaged;
  packed = entry->packed;
  size = entry->size;
  return Member::Sound;
}

ZipReader::Member ZipReader::openMember(const std::string& name, int caseSensitive, const std::string& password,
                                        uint64_t& size) {
  uint64_t packed = 0;
  const Member located = locateMember(name, caseSensitive, packed, size);
  if (located != Member::Sound) return located;
  unzFile handle = static_cast<unzFile>(m_zipFile);
  // A size the compressed bytes cannot back is a lie; refuse it before
  // allocating anything.
  if (size > kMaxMemberSize || size > packed * kMaxExpansion + 64) return Member::Damaged;
  const int opened =
      password.empty() ? unzOpenCurrentFile(handle) : unzOpenCurrentFilePassword(handle, password.c_str());
  return opened == UNZ_OK ? Member::Sound : Member::Damaged;
}

bool ZipReader::readMember(uint8_t* destination, uint64_t size) {
  unzFile handle = static_cast<unzFile>(m_zipFile);
  // Checking without keeping the bytes inflates through one small block.
  constexpr unsigned kBlock = 1u << 16;
  std::vector<uint8_t> scratch(destination ? 0 : kBlock);
  uint64_t done = 0;
  int got = 0;
  while (done < size) {
    const unsigned want = static_cast<unsigned>(std::min<uint64_t>(size - done, destination ? 1u << 30 : kBlock));
    got = unzReadCurrentFile(handle, destination ? destination + done : scratch.data(), want);
    if (got <= 0) break;
    done += static_cast<uint64_t>(got);
  }
  // Closing the member checks its CRC-32 once all of it has been read.
  const int closed = unzCloseCurrentFile(handle);
  return got >= 0 && done == size && closed == UNZ_OK;
}

std::shared_ptr<ZipRamStream> ZipReader::ExtractFile(const std::string& name, int caseSensitive,
                                                     const std::string& password) {
  uint64_t size = 0;
  if (openMember(name, caseSensitive, password, size) != Member::Sound) return nullptr;
  auto stream = ZipRamStream::unfilled(static_cast<size_t>(size));
  if (!readMember(stream->data(), size)) return nullptr;
  return stream;
}

std::unique_ptr<ZipInflateStream> ZipReader::ExtractStream(const std::string& name, int caseSensitive,
                                                           const std::string& password) {
  uint64_t size = 0;
  if (openMember(name, caseSensitive, password, size) != Member::Sound) return nullptr;
  return std::unique_ptr<ZipInflateStream>(new ZipInflateStream(m_zipFile, static_cast<int64_t>(size)));
}

ZipReader::Member ZipReader::CheckFile(const std::string& name, int caseSensitive, const std::string& password) {
  uint64_t size = 0;
  const Member opened = openMember(name, caseSensitive, password, size);
  if (opened != Member::Sound) return opened;
  return readMember(nullptr, size) ? Member::Sound : Member::Damaged;
}

ZipReader::Member ZipReader::CheckFile(const std::string& name, int caseSensitive, const std::string& password,
                                      const KnownStream& known) {
  constexpr uint16_t kEncrypted = 1;
  const Entry* entry = findEntry(name, caseSensitive);
  if (entry && password.empty() && entry->method == Z_DEFLATED && !(entry->flag & kEncrypted) &&
      entry->size == known.size && entry->crc == known.crc && entry->dataAt == known.storedAt &&
      entry->packed == known.storedSize && storedCrcIs(*entry, known.storedCrc)) {
    return Member::Sound;
  }
  return CheckFile(name, caseSensitive, password);
}

bool ZipReader::storedCrcIs(const Entry& entry, uint32_t crc) const {
  if (!m_file) return false;
  constexpr size_t kBlock = 64u << 10;
  std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(entry.packed, kBlock)));
  uLong sum = crc32(0L, Z_NULL, 0);
  for (uint64_t done = 0; done < entry.packed;) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(entry.packed - done, block.size()));
    if (!m_file->readAt(entry.dataAt + done, block.data(), count)) return false;
    sum = crc32_z(sum, block.data(), count);
    done += count;
  }
  return sum == crc;
}

int ZipReader::ExtractFileToDisk(FileSystem& files, Reporter& report, const std::string& name,
                                 const std::string& outPath, int caseSensitive, const std::string& password) {
  const auto member = ExtractFile(name, caseSensitive, password);
  if (!member) {
    report.debugLog("cannot extract member " + name + " to " + outPath);
    return 0;
  }
  if (!writeToDisk(files, *member, outPath)) report.debugLog("cannot write member " + name + " to " + outPath);
  return 0;
}

bool writeToDisk(FileSystem& files, ZipRamStream& member, const std::string& path) {
  const auto out = files.create(path);
  if (!out) return false;
  try {
    // Handed over whole: the stream gives it to the system in blocks of
    // kWriteBlock, few system calls even for a font.
    out->stream().write(member.data(), static_cast<size_t>(member.size()));
  } catch (const StreamError&) {
    return false;  // the old file stays as it was
  }
  return files.replace(*out, FolderSync::Now);
}

int ZipReader::CloseZip() {
  if (m_zipFile) unzClose(static_cast<unzFile>(m_zipFile));
  m_zipFile = nullptr;
  m_input.reset();
  m_file.reset();
  m_entries.clear();
  m_byName.clear();
  m_byLowerName.clear();
  m_name.clear();
  clearFileList();
  return 0;
}

int64_t ZipReader::memberSize(const std::string& name, int caseSensitive) {
  const Entry* entry = findEntry(name, caseSensitive);
  return entry ? static_cast<int64_t>(entry->size) : -1;
}

std::optional<ZipReader::Recorded> ZipReader::memberRecord(const std::string& name, int caseSensitive) {
  const Entry* entry = findEntry(name, caseSensitive);
  if (!entry) return std::nullopt;
  return Recorded{entry->size, entry->crc, entry->dataAt, entry->packed};
}

namespace {

// A name longer than the short-string room takes a heap block: its bytes,
// the terminating zero and the allocator's header, rounded to 16.
uint64_t nameBytes(const std::string& name) { return name.size() > 15 ? (name.size() + 1 + 8 + 15) / 16 * 16 : 0; }

}  // namespace

uint64_t ZipReader::indexBytes() const {
  // A look-up entry is a hash node (its link, the name, the entry's
  // number, the hash) and a bucket; what the walk read is an Entry in
  // one array; a directory entry is a shared block holding the entry and
  // its header, and its slot in the list.
  constexpr uint64_t kLookupEntry = 72;
  constexpr uint64_t kDirectoryEntry = 224;
  uint64_t bytes = m_entries.capacity() * sizeof(Entry);
  for (const auto* index : {&m_byName, &m_byLowerName}) {
    for (const auto& [name, where] : *index) bytes += kLookupEntry + nameBytes(name);
  }
  if (m_zipFileList) {
    for (const SZipFileEntryPtr& entry : m_zipFileList->FileList) {
      bytes += kDirectoryEntry + nameBytes(entry->zipFileName) + nameBytes(entry->simpleFileName) + nameBytes(entry->path);
    }
  }
  return bytes;
}

std::optional<PackedMember> ZipReader::LocatePacked(const std::string& name) {
  const Entry* entry = findEntry(name, 1);
  constexpr uint16_t kEncrypted = 1;
  if (!entry || entry->method != Z_DEFLATED || (entry->flag & kEncrypted) || entry->packed > kMaxMemberSize) {
    return std::nullopt;
  }
  // Only a stream ZipWriter wrote is the one it would write again: another
  // zip tool deflates the same bytes differently, and marks its members
  // with its own system, attributes and extra fields.
  constexpr uint16_t kWriterMadeBy = 0;  // what minizip records as its maker
  if (entry->madeBy != kWriterMadeBy || entry->externalAttributes != 0 || entry->extraFields) return std::nullopt;
  // minizip copies a raw member a byte at a time, so the bytes themselves
  // are read straight from the file, where the walk found them.
  PackedMember member;
  member.size = entry->size;
  member.crc = entry->crc;
  member.flag = entry->flag;
  member.internalAttributes = entry->internalAttributes;
  member.storedAt = entry->dataAt;
  member.storedSize = entry->packed;
  return member;
}

bool readStoredBytes(const std::string& package, PackedMember& member) {
  const auto file = RegularFile::open(package);
  return file && readStoredBytes(*file, member);
}

namespace {

template <class File>
bool readStoredFrom(File& package, PackedMember& member) {
  const uint64_t size = package.size();
  if (member.storedSize > size || member.storedAt > size - member.storedSize) return false;
  member.compressed.resize(static_cast<size_t>(member.storedSize));
  return package.readAt(member.storedAt, member.compressed.data(), member.compressed.size());
}

}  // namespace

bool readStoredBytes(const RegularFile& package, PackedMember& member) {
  return readStoredFrom(package, member);
}

bool readStoredBytes(WindowedFile& package, PackedMember& member) {
  return readStoredFrom(package, member);
}

// ---- members deflated apart from the writer

PackedMember deflateMember(const uint8_t* bytes, size_t count, int level) {
  PackedMember member;
  member.size = count;
  member.flag = ZipWriter::levelFlag(level);
  uLong crc = crc32(0L, Z_NULL, 0);
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  member.compressed.resize(deflateBound(&stream, static_cast<uLong>(count)));
  size_t given = 0;
  // minizip hands its input over without flushing and finishes at the
  // close; the stream deflate makes depends on those calls, not on how the
  // input or output is cut.
  int flush = Z_NO_FLUSH;
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    if (stream.avail_in == 0 && given < count) {
      const size_t piece = std::min<size_t>(count - given, UINT_MAX);
      stream.next_in = const_cast<Bytef*>(bytes + given);
      stream.avail_in = static_cast<uInt>(piece);
      crc = crc32_z(crc, bytes + given, piece);
      given += piece;
    }
    if (stream.avail_in == 0 && given == count) flush = Z_FINISH;
    if (stream.total_out == member.compressed.size()) member.compressed.resize(member.compressed.size() * 2 + 64);
    stream.next_out = member.compressed.data() + stream.total_out;
    stream.avail_out = static_cast<uInt>(std::min<size_t>(member.compressed.size() - stream.total_out, UINT_MAX));
    result = deflate(&stream, flush);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
      deflateEnd(&stream);
      throw std::runtime_error("deflate failed");
    }
  }
  member.compressed.resize(stream.total_out);
  member.internalAttributes = stream.data_type == Z_TEXT ? 1 : 0;
  deflateEnd(&stream);
  member.crc = static_cast<uint32_t>(crc);
  return member;
}

bool inflatesTo(const PackedMember& member, const uint8_t* bytes, size_t count) {
  if (member.size != count) return false;
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  constexpr size_t kBlock = 1u << 16;
  std::vector<uint8_t> block(kBlock);
  stream.next_in = const_cast<Bytef*>(member.compressed.data());
  size_t fed = 0, compared = 0;
  int result = Z_OK;
  bool same = true;
  while (same && result == Z_OK) {
    if (stream.avail_in == 0) {
      const size_t piece = std::min<size_t>(member.compressed.size() - fed, UINT_MAX);
      stream.next_in = const_cast<Bytef*>(member.compressed.data() + fed);
      stream.avail_in = static_cast<uInt>(piece);
      fed += piece;
    }
    stream.next_out = block.data();
    stream.avail_out = static_cast<uInt>(kBlock);
    result = inflate(&stream, Z_NO_FLUSH);
    const size_t out = kBlock - stream.avail_out;
    // An empty source has no bytes at all to compare against.
    same = compared + out <= count && (out == 0 || std::memcmp(block.data(), bytes + compared, out) == 0);
    compared += out;
    // No progress with input left over is a stream that ends short.
    if (result == Z_BUF_ERROR || (result == Z_OK && out == 0 && stream.avail_in == 0 && fed == member.compressed.size())) {
      result = Z_DATA_ERROR;
    }
  }
  const bool whole = result == Z_STREAM_END && stream.avail_in == 0 && fed == member.compressed.size();
  inflateEnd(&stream);
  return same && whole && compared == count;
}

// ---- ZipWriter

namespace {

constexpr int kSyncFailed = -1;

zip_fileinfo fileInfo(const std::tm& when) {
  zip_fileinfo info{};
  info.tmz_date.tm_sec = static_cast<uInt>(when.tm_sec);
  info.tmz_date.tm_min = static_cast<uInt>(when.tm_min);
  info.tmz_date.tm_hour = static_cast<uInt>(when.tm_hour);
  info.tmz_date.tm_mday = static_cast<uInt>(when.tm_mday);
  info.tmz_date.tm_mon = static_cast<uInt>(when.tm_mon);
  info.tmz_date.tm_year = static_cast<uInt>(when.tm_year + 1900);
  return info;
}

}  // namespace

ZipWriter::ZipWriter() = default;

ZipWriter::~ZipWriter() {
  if (m_zipFile) CloseZip("");
}

int ZipWriter::OpenZip(const std::string& path, int append) {
  if (m_zipFile) CloseZip("");
  // A new package is written through held bytes; adding to one reads it
  // too, and is left to minizip's own.
  m_output = append ? nullptr : std::make_unique<BufferedZipOutput>();
  zipFile handle = openZipForWriting(path, append ? APPEND_STATUS_ADDINZIP : APPEND_STATUS_CREATE, m_fileFunctions,
                                     m_output.get(), m_writeOver);
  if (!handle) return 0;
  m_zipFile = handle;
  m_name = path;
  m_error = 0;
  // A new package starts empty, whatever the file it is written over held.
  if (append) {
    readFileList();
  } else {
    clearFileList();
  }
  return 1;
}

int ZipWriter::SetCompressionLevel(int level) {
  if (m_zipFile) m_compressionLevel = level;
  return 0;
}

int ZipWriter::addBytes(const std::string& name, const uint8_t* bytes, size_t count, const std::tm& when,
                        const std::string& password) {
  if (m_error) return 0;
  const zip_fileinfo info = fileInfo(when);
  zipFile handle = static_cast<zipFile>(m_zipFile);
  // Opening a member also finishes the one before it, so a failure of the
  // previous member's tail shows up here.
  if (password.empty()) {
    noteResult(zipOpenNewFileInZip(handle, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                   m_compressionLevel));
  } else {
    noteResult(zipOpenNewFileInZip3(handle, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                    m_compressionLevel, 0, -MAX_WBITS, 8, 0, password.c_str(), 0));
  }
  if (m_error) return 0;
  noteResult(zipWriteInFileInZip(handle, bytes, static_cast<unsigned>(count)));
  if (m_error) return 0;
  recordMember(name);
  syncAhead();
  return 0;
}

void ZipWriter::syncAhead() {
  if (!m_output || m_error || !openWhileWriting() || m_output->handedOver() < m_syncedAhead + kSyncAhead) return;
  if (m_syncing.valid() && m_syncing.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
  m_syncedAhead = m_output->handedOver();
  m_syncing = std::async(std::launch::async, [path = m_name] { return syncFile(path); });
}

void ZipWriter::recordMember(const std::string& name) {
  auto entry = SZipFileEntry::create();
  entry->zipFileName = name;
  const size_t cut = name.find_last_of("/\\");
  entry->simpleFileName = cut == std::string::npos ? name : name.substr(cut + 1);
  entry->path = cut == std::string::npos ? "" : name.substr(0, cut);
  if (!m_zipFileList) m_zipFileList = std::make_shared<TZipFileList>();
  m_zipFileList->FileList.push_back(entry);
}

int ZipWriter::AddBytes(const std::string& name, const uint8_t* bytes, size_t count, const std::tm& when) {
  if (!m_zipFile) return 0;
  return addBytes(name, bytes, count, when, "");
}

int ZipWriter::AddPacked(const std::string& name, const PackedMember& member, const std::tm& when) {
  BeginPacked(name, member.internalAttributes, when);
  WritePacked(member.compressed.data(), member.compressed.size());
  return EndPacked(name, member.size, member.crc);
}

int ZipWriter::BeginPacked(const std::string& name, uint16_t internalAttributes, const std::tm& when) {
  if (!m_zipFile || m_error) return 0;
  zip_fileinfo info = fileInfo(when);
  // minizip sets the text mark only from a deflate of its own; for a raw
  // member it keeps what it is given here.
  info.internal_fa = internalAttributes;
  // The level goes in as for a member minizip deflates itself: the header
  // flags it sets from the level are part of the package's bytes.
  noteResult(zipOpenNewFileInZip2_64(static_cast<zipFile>(m_zipFile), name.c_str(), &info, nullptr, 0, nullptr, 0,
                                     nullptr, Z_DEFLATED, m_compressionLevel, 1, 0));
  return 0;
}

int ZipWriter::WritePacked(const uint8_t* bytes, size_t count) {
  if (!m_zipFile) return 0;
  for (size_t left = count; left > 0 && !m_error;) {
    const unsigned piece = static_cast<unsigned>(std::min<size_t>(left, 1u << 30));
    noteResult(zipWriteInFileInZip(static_cast<zipFile>(m_zipFile), bytes, piece));
    bytes += piece;
    left -= piece;
  }
  syncAhead();
  return 0;
}

int ZipWriter::EndPacked(const std::string& name, uint64_t size, uint32_t crc) {
  if (!m_zipFile || m_error) return 0;
  // A raw member must be closed with its own size and CRC: the implicit
  // close when the next member opens would record zeros.
  noteResult(zipCloseFileInZipRaw64(static_cast<zipFile>(m_zipFile), size, crc));
  if (m_error) return 0;
  recordMember(name);
  return 0;
}

uint16_t ZipWriter::levelFlag(int level) {
  // Bits 1 and 2 tell the deflate level's class: maximum, fast, super fast.
  if (level == 8 || level == 9) return 2;
  if (level == 2) return 4;
  if (level == 1) return 6;
  return 0;
}

std::tm ZipWriter::stampOf(std::time_t moment) {
  // A member's stamp is a DOS date, whose years run from 1980 to 2107: a
  // moment outside them (a file dated 0, as some tools leave their files)
  // takes the nearest day it can hold instead of a year that wraps.
  constexpr int kFirstYear = 80, kLastYear = 207;  // since 1900
  std::tm when = localCalendar(moment).value_or(std::tm{});
  if (when.tm_year < kFirstYear) {
    when = std::tm{};
    when.tm_year = kFirstYear;
    when.tm_mday = 1;
  } else if (when.tm_year > kLastYear) {
    when = std::tm{};
    when.tm_year = kLastYear;
    when.tm_mon = 11;
    when.tm_mday = 31;
    when.tm_hour = 23;
    when.tm_min = 59;
    when.tm_sec = 58;
  }
  return when;
}

std::tm ZipWriter::fileTime(const std::string& path) { return stampOf(fileModTime(path)); }

std::tm ZipWriter::timeNow() { return stampOf(std::time(nullptr)); }

int ZipWriter::AddFile(const std::string& path, const std::string& password) {
  if (!m_zipFile) return 0;
  // Read-only sources are packed too: only reading is needed.
  auto source = FileStream::open(path, FileMode::Read);
  if (!source) return 0;
  MemberBytes bytes(static_cast<size_t>(source->size()));
  source->readFixed(bytes.data(), bytes.size());
  return addBytes(path, bytes.data(), bytes.size(), fileTime(path), password);
}

int ZipWriter::AddStream(Stream* stream, const std::string& name, const std::string& password) {
  if (!m_zipFile || !stream) return 0;
  MemberBytes bytes(static_cast<size_t>(stream->remaining()));
  stream->readFixed(bytes.data(), bytes.size());
  return addBytes(name, bytes.data(), bytes.size(), timeNow(), password);
}

int ZipWriter::CloseZip(const std::string& comment) {
  if (m_zipFile) {
    // zipClose finishes the last member, writes the directory and closes the
    // file, whose buffered tail may only fail now.
    noteResult(zipClose(static_cast<zipFile>(m_zipFile), comment.c_str()));
    // The package only counts as written once its bytes are on the disk.
    // This sync waits for the pages a sync ahead still has on their way as
    // well, and writes the rest meanwhile: it does not wait for that one
    // to end first.
    if (!m_error && !syncFile(m_name)) noteResult(kSyncFailed);
    if (m_syncing.valid()) (void)m_syncing.get();
  }
  m_zipFile = nullptr;
  m_output.reset();
  m_syncedAhead = 0;
  m_name.clear();
  clearFileList();
  return 0;
}

}  // namespace vh
