// A zip package's member list built by walking its local file headers from
// the start of the file, without the central directory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/byte_buffer.h"
#include "common/stream.h"

namespace vh {

// Fixed-layout records of the zip format, filled from bytes little-endian.
class PACK_STRUCT {
 public:
  virtual ~PACK_STRUCT() = default;
  virtual int fillFromBank(const ByteBuffer& bank, size_t offset);
  // Reads `count` bytes from the stream and fills the record from them; 0,
  // with the stream unmoved, when fewer bytes remain.
  int fillFromReader(Stream* stream, size_t count, size_t bufferOffset, size_t recordOffset);
  virtual ByteBufferPtr getBank() { return nullptr; }
};

class SZIPFileDataDescriptor : public PACK_STRUCT {
 public:
  static constexpr size_t size = 12;
  uint32_t CRC32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  int fillFromBank(const ByteBuffer& bank, size_t offset) override;
};

class SZIPFileHeader : public PACK_STRUCT {
 public:
  static constexpr size_t size = 30;
  static constexpr uint32_t kSignature = 0x04034B50;
  uint32_t Sig = 0;
  uint16_t VersionToExtract = 0;
  uint16_t GeneralBitFlag = 0;
  uint16_t CompressionMethod = 0;
  uint16_t LastModFileTime = 0;
  uint16_t LastModFileDate = 0;
  SZIPFileDataDescriptor DataDescriptor;
  uint16_t FilenameLength = 0;
  uint16_t ExtraFieldLength = 0;
  int fillFromBank(const ByteBuffer& bank, size_t offset) override;
};

class SZipFileEntry {
 public:
  std::string zipFileName;
  std::string simpleFileName;  // what ordering and lookup use
  std::string path;
  int32_t fileDataPosition = 0;
  SZIPFileHeader header;

  static std::shared_ptr<SZipFileEntry> create() { return std::make_shared<SZipFileEntry>(); }
  int Less(const SZipFileEntry& other) const { return simpleFileName < other.simpleFileName ? 1 : 0; }
  int EqEq(const SZipFileEntry& other) const { return simpleFileName == other.simpleFileName ? 1 : 0; }
  // Byte-wise comparison of the simple names; -1 for anything not an entry.
  int Compare(const SZipFileEntry* other) const;
};

using SZipFileEntryPtr = std::shared_ptr<SZipFileEntry>;

class TZipFileList {
 public:
  Stream* zipFile = nullptr;  // held while scanning, never closed here
  std::vector<SZipFileEntryPtr> FileList;
  int IgnoreCase = 0;
  int IgnorePaths = 0;

  // The directory of the package the stream stands at the start of; null
  // for a null stream. Entries come sorted by name, stable.
  static std::shared_ptr<TZipFileList> create(Stream* stream, int ignoreCase, int ignorePaths);
  int getFileCount() const { return static_cast<int>(FileList.size()); }
  // Throws std::runtime_error for a position outside the directory.
  SZipFileEntryPtr getFileInfo(int index) const;
  SZipFileEntryPtr findFile(const std::string& name) const;
  int scanLocalHeader();
  int extractFilename(SZipFileEntry& entry) const;
  static int deletePathFromFilename(std::string& name);
};

}  // namespace vh
