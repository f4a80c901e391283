#include "tools/record_files.h"

#include <vector>

#include "common/stream.h"
#include "formats/xarc.h"
#include "formats/xarc_table.h"
#include "formats/xrc.h"

namespace vh::tool {

std::shared_ptr<tXRC> readRecordFile(const std::string& path, int subId, std::string& error) {
  error.clear();
  auto stream = FileStream::open(path, FileMode::Read);
  if (!stream) {
    error = "failed to read:" + path;
    return nullptr;
  }
  // The table is held to the bounds the installer holds it to; only the
  // record files are read.
  const Result<XarcTable> table = readXarcTable(*stream);
  if (!table) {
    error = tXARC::openFailureText(table.fault(), path);
    return nullptr;
  }
  std::vector<std::shared_ptr<tXRC>> recordFiles;
  for (const XarcEntry& entry : table.value().entries) {
    if (!entry.isRecordFile) continue;
    auto recordFile = tXRC::Create(entry.name, static_cast<int32_t>(entry.offset), entry.length, nullptr);
    recordFile->subId = subId;
    recordFiles.push_back(std::move(recordFile));
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
