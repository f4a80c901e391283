#include "tools/record_files.h"

#include <vector>

#include "common/stream.h"
#include "formats/xarc.h"
#include "formats/xrc.h"

namespace vh::tool {

namespace {

constexpr int64_t kHeaderSize = 12;
// An empty name's 0 byte, length and flag.
constexpr int64_t kMinEntrySize = 9;
// A table cut short by a few entries still opens; see tXARC::open.
constexpr int64_t kMissingEntriesAllowed = 64;

}  // namespace

std::shared_ptr<tXRC> readRecordFile(const std::string& path, int subId, std::string& error) {
  error.clear();
  auto stream = FileStream::open(path, FileMode::Read);
  if (!stream) {
    error = "failed to read:" + path;
    return nullptr;
  }
  const int64_t fileSize = stream->size();
  stream->readI32();  // xrcNo
  const int32_t filecount = stream->readI32();
  const int64_t headerlength = stream->readI32();
  if (fileSize < kHeaderSize) return nullptr;
  const std::string invalid = "invalid XARC size:" + path;
  if (filecount < 0 || filecount > (fileSize - kHeaderSize) / kMinEntrySize + kMissingEntriesAllowed) {
    error = invalid;
    return nullptr;
  }
  // The same bounds the installer holds every member to; only the record
  // files are read.
  std::vector<std::shared_ptr<tXRC>> recordFiles;
  int64_t running = headerlength;
  for (int32_t i = 0; i < filecount; ++i) {
    const std::string memberName = stream->readLine();
    const int32_t length = stream->readI32();
    stream->readI32();  // flag
    const bool isRecordFile = tXARC::getExtName(memberName) == "xrc";
    if (length < 0 || running < 0 || running > fileSize || (!isRecordFile && running + length > fileSize)) {
      error = invalid;
      return nullptr;
    }
    if (isRecordFile) {
      auto recordFile = tXRC::Create(memberName, static_cast<int32_t>(running), length, nullptr);
      recordFile->subId = subId;
      recordFiles.push_back(std::move(recordFile));
    }
    running += length;
  }
  if (filecount > 0 && stream->position() > headerlength) {
    error = invalid;
    return nullptr;
  }
  for (const auto& recordFile : recordFiles) {
    recordFile->Load(*stream);
    if (!recordFile->damage().empty()) {
      error = "failed to read:" + path + " (" + recordFile->damage() + ")";
      return nullptr;
    }
  }
  return recordFiles.empty() ? nullptr : recordFiles.back();
}

}  // namespace vh::tool
