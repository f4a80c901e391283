#include "support/zip_directory.h"

#include <algorithm>
#include <stdexcept>

#include "common/byte_reader.h"
#include "common/bytes.h"

namespace vh {

int PACK_STRUCT::fillFromBank(const ByteBuffer&, size_t) { return 0; }

int PACK_STRUCT::fillFromReader(Stream* stream, size_t count, size_t bufferOffset, size_t recordOffset) {
  if (!stream) return 0;
  if (stream->position() + static_cast<int64_t>(count) > stream->size()) return 0;
  ByteBuffer bank(count);
  stream->readFixed(bank.data() + bufferOffset, count - bufferOffset);
  fillFromBank(bank, recordOffset);
  return 1;
}

namespace {

// The `size` bytes of a record at `offset` of the bank; the reads from it
// then never run short.
ByteReader recordAt(const ByteBuffer& bank, size_t offset, size_t size) {
  const auto record = ByteReader(std::span<const uint8_t>(bank.data(), bank.size())).memberAt(offset, size);
  if (!record) throw std::runtime_error("fillFromBank out of bounds");
  return *record;
}

void readDescriptor(ByteReader& record, SZIPFileDataDescriptor& descriptor) {
  descriptor.CRC32 = record.u32();
  descriptor.CompressedSize = record.u32();
  descriptor.UncompressedSize = record.u32();
}

}  // namespace

int SZIPFileDataDescriptor::fillFromBank(const ByteBuffer& bank, size_t o) {
  ByteReader record = recordAt(bank, o, size);
  readDescriptor(record, *this);
  return 0;
}

int SZIPFileHeader::fillFromBank(const ByteBuffer& bank, size_t o) {
  ByteReader record = recordAt(bank, o, size);
  Sig = record.u32();
  VersionToExtract = record.u16();
  GeneralBitFlag = record.u16();
  CompressionMethod = record.u16();
  LastModFileTime = record.u16();
  LastModFileDate = record.u16();
  readDescriptor(record, DataDescriptor);
  FilenameLength = record.u16();
  ExtraFieldLength = record.u16();
  return 0;
}

int SZipFileEntry::Compare(const SZipFileEntry* other) const {
  if (!other) return -1;
  return simpleFileName.compare(other->simpleFileName) < 0 ? -1 : simpleFileName == other->simpleFileName ? 0 : 1;
}

std::shared_ptr<TZipFileList> TZipFileList::create(Stream* stream, int ignoreCase, int ignorePaths) {
  if (!stream) return nullptr;
  auto list = std::make_shared<TZipFileList>();
  list->zipFile = stream;
  list->IgnoreCase = ignoreCase;
  list->IgnorePaths = ignorePaths;
  while (list->scanLocalHeader()) {
  }
  std::stable_sort(list->FileList.begin(), list->FileList.end(),
                   [](const SZipFileEntryPtr& a, const SZipFileEntryPtr& b) { return a->Less(*b) == 1; });
  return list;
}

SZipFileEntryPtr TZipFileList::getFileInfo(int index) const {
  if (index < 0 || index >= getFileCount()) {
    throw std::runtime_error("TZipReader.getFileInfo(): Invalid index " + std::to_string(index));
  }
  return FileList[static_cast<size_t>(index)];
}

SZipFileEntryPtr TZipFileList::findFile(const std::string& name) const {
  SZipFileEntry probe;
  probe.simpleFileName = IgnoreCase ? lowerCase(name) : name;
  if (IgnorePaths) deletePathFromFilename(probe.simpleFileName);
  for (const SZipFileEntryPtr& entry : FileList) {
    if (entry->Compare(&probe) == 0) return entry;
  }
  return nullptr;
}

int TZipFileList::scanLocalHeader() {
  auto entry = SZipFileEntry::create();
  entry->header.fillFromReader(zipFile, SZIPFileHeader::size, 0, 0);
  if (entry->header.Sig != SZIPFileHeader::kSignature) return 0;
  entry->zipFileName = zipFile->readString(std::min<size_t>(entry->header.FilenameLength,
                                                            static_cast<size_t>(zipFile->remaining()) + 1));
  entry->zipFileName.resize(entry->header.FilenameLength, '\0');
  extractFilename(*entry);
  if (entry->header.ExtraFieldLength) zipFile->seek(zipFile->position() + entry->header.ExtraFieldLength);
  entry->fileDataPosition = static_cast<int32_t>(zipFile->position());
  FileList.push_back(entry);
  // A member whose sizes follow its data (flag bit 3) does not say where the
  // next header starts: the walk ends with it rather than guess.
  if ((entry->header.GeneralBitFlag & 8) && entry->header.DataDescriptor.CompressedSize == 0) return 0;
  zipFile->seek(zipFile->position() + entry->header.DataDescriptor.CompressedSize);
  return 1;
}

int TZipFileList::extractFilename(SZipFileEntry& entry) const {
  if (entry.header.FilenameLength == 0) return 0;
  if (IgnoreCase) entry.zipFileName = lowerCase(entry.zipFileName);
  const size_t cut = entry.zipFileName.find_last_of("/\\");
  if (cut == std::string::npos) {
    entry.simpleFileName = entry.zipFileName;
    entry.path = "";
  } else {
    entry.simpleFileName = entry.zipFileName.substr(cut + 1);
    entry.path = toSlashes(entry.zipFileName.substr(0, cut));
    if (entry.path == "<bad_dir>") entry.path = "";
  }
  if (!IgnorePaths) entry.simpleFileName = entry.zipFileName;
  return 0;
}

int TZipFileList::deletePathFromFilename(std::string& name) {
  const size_t cut = name.find_last_of("/\\");
  if (cut != std::string::npos) name = name.substr(cut + 1);
  return 0;
}

}  // namespace vh
