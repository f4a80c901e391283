#include "support/zip.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "app/desktop.h"
#include "common/files.h"
#include "common/replacing_file.h"

namespace vh {

// ---- ZipRamStream

std::shared_ptr<ZipRamStream> ZipRamStream::ZCreate(size_t size, int readable, int writable) {
  auto stream = std::make_shared<ZipRamStream>();
  stream->_data.assign(size, 0);
  stream->readable_ = readable != 0;
  stream->writable_ = writable != 0;
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
  return 0;
}

int ZipFile::getFileCount() const { return m_zipFileList ? m_zipFileList->getFileCount() : 0; }

SZipFileEntryPtr ZipFile::getFileInfo(int index) const {
  if (!m_zipFileList) throw std::runtime_error("TZipReader.getFileInfo(): Invalid index " + std::to_string(index));
  return m_zipFileList->getFileInfo(index);
}

SZipFileEntryPtr ZipFile::getFileInfoByName(const std::string& name) const {
  return m_zipFileList ? m_zipFileList->findFile(name) : nullptr;
}

// ---- ZipReader

ZipReader::~ZipReader() { CloseZip(); }

int ZipReader::OpenZip(const std::string& path) {
  unzFile handle = unzOpen(path.c_str());
  if (!handle) return 0;
  CloseZip();
  m_zipFile = handle;
  m_name = path;
  readFileList();
  return 1;
}

std::shared_ptr<ZipRamStream> ZipReader::ExtractFile(const std::string& name, int caseSensitive,
                                                     const std::string& password) {
  if (!m_zipFile) return nullptr;
  unzFile handle = static_cast<unzFile>(m_zipFile);
  if (unzLocateFile(handle, name.c_str(), caseSensitive ? 1 : 2) != UNZ_OK) return nullptr;
  unz_file_info info{};
  if (unzGetCurrentFileInfo(handle, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return nullptr;
  // A size the compressed bytes cannot back is a lie; refuse it before
  // allocating anything.
  const uint64_t packed = info.compressed_size;
  const uint64_t size = info.uncompressed_size;
  if (size > kMaxMemberSize || size > packed * kMaxExpansion + 64) return nullptr;
  const int opened = password.empty() ? unzOpenCurrentFile(handle) : unzOpenCurrentFilePassword(handle, password.c_str());
  if (opened != UNZ_OK) return nullptr;
  auto stream = ZipRamStream::ZCreate(static_cast<size_t>(size), 1, 0);
  size_t done = 0;
  while (done < size) {
    const int got = unzReadCurrentFile(handle, stream->data() + done, static_cast<unsigned>(std::min<uint64_t>(size - done, 1u << 30)));
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  // Closing the member checks its CRC-32 once all of it has been read.
  const int closed = unzCloseCurrentFile(handle);
  if (done != size || closed != UNZ_OK) return nullptr;
  return stream;
}

int ZipReader::ExtractFileToDisk(const std::string& name, const std::string& outPath, int caseSensitive,
                                 const std::string& password) {
  const auto member = ExtractFile(name, caseSensitive, password);
  if (!member) {
    desktop().debugLog("cannot extract member " + name + " to " + outPath);
    return 0;
  }
  if (!writeToDisk(*member, outPath)) desktop().debugLog("cannot write member " + name + " to " + outPath);
  return 0;
}

bool writeToDisk(ZipRamStream& member, const std::string& path) {
  auto out = ReplacingFile::create(path);
  if (!out) return false;
  try {
    constexpr size_t kBlock = 4096;
    const auto size = static_cast<size_t>(member.size());
    for (size_t at = 0; at < size; at += kBlock) {
      out->stream().write(member.data() + at, std::min<size_t>(kBlock, size - at));
    }
  } catch (const StreamError&) {
    return false;  // the old file stays as it was
  }
  return out->commit();
}

int ZipReader::CloseZip() {
  if (m_zipFile) unzClose(static_cast<unzFile>(m_zipFile));
  m_zipFile = nullptr;
  m_name.clear();
  clearFileList();
  return 0;
}

// ---- ZipWriter

ZipWriter::~ZipWriter() {
  if (m_zipFile) CloseZip("");
}

int ZipWriter::OpenZip(const std::string& path, int append) {
  zipFile handle = zipOpen(path.c_str(), append ? APPEND_STATUS_ADDINZIP : APPEND_STATUS_CREATE);
  if (!handle) return 0;
  m_zipFile = handle;
  m_name = path;
  readFileList();
  return 1;
}

int ZipWriter::SetCompressionLevel(int level) {
  if (m_zipFile) m_compressionLevel = level;
  return 0;
}

int ZipWriter::addBytes(const std::string& name, const std::vector<uint8_t>& bytes, const std::tm& when,
                        const std::string& password) {
  zip_fileinfo info{};
  info.tmz_date.tm_sec = static_cast<uInt>(when.tm_sec);
  info.tmz_date.tm_min = static_cast<uInt>(when.tm_min);
  info.tmz_date.tm_hour = static_cast<uInt>(when.tm_hour);
  info.tmz_date.tm_mday = static_cast<uInt>(when.tm_mday);
  info.tmz_date.tm_mon = static_cast<uInt>(when.tm_mon);
  info.tmz_date.tm_year = static_cast<uInt>(when.tm_year + 1900);
  zipFile handle = static_cast<zipFile>(m_zipFile);
  if (password.empty()) {
    zipOpenNewFileInZip(handle, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, m_compressionLevel);
  } else {
    zipOpenNewFileInZip3(handle, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, m_compressionLevel,
                         0, -MAX_WBITS, 8, 0, password.c_str(), 0);
  }
  zipWriteInFileInZip(handle, bytes.data(), static_cast<unsigned>(bytes.size()));

  auto entry = SZipFileEntry::create();
  entry->zipFileName = name;
  const size_t cut = name.find_last_of("/\\");
  entry->simpleFileName = cut == std::string::npos ? name : name.substr(cut + 1);
  entry->path = cut == std::string::npos ? "" : name.substr(0, cut);
  if (!m_zipFileList) m_zipFileList = std::make_shared<TZipFileList>();
  m_zipFileList->FileList.push_back(entry);
  return 0;
}

int ZipWriter::AddFile(const std::string& path, const std::string& password) {
  if (!m_zipFile) return 0;
  // Read-only sources are packed too: only reading is needed.
  auto source = FileStream::open(path, FileMode::Read);
  if (!source) return 0;
  std::vector<uint8_t> bytes(static_cast<size_t>(source->size()));
  source->readFixed(bytes.data(), bytes.size());
  const std::time_t modified = fileModTime(path);
  std::tm when{};
  localtime_r(&modified, &when);
  return addBytes(path, bytes, when, password);
}

int ZipWriter::AddStream(Stream* stream, const std::string& name, const std::string& password) {
  if (!m_zipFile || !stream) return 0;
  std::vector<uint8_t> bytes(static_cast<size_t>(stream->remaining()));
  stream->readFixed(bytes.data(), bytes.size());
  const std::time_t now = std::time(nullptr);
  std::tm when{};
  localtime_r(&now, &when);
  return addBytes(name, bytes, when, password);
}

int ZipWriter::CloseZip(const std::string& comment) {
  if (m_zipFile) zipClose(static_cast<zipFile>(m_zipFile), comment.c_str());
  m_zipFile = nullptr;
  m_name.clear();
  clearFileList();
  return 0;
}

}  // namespace vh
