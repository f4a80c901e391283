// A translation file as the package reader loads it, then every entry put
// into a record of each shape a record file holds.
#include "common/stream.h"
#include "formats/xrc.h"
#include "fuzz/fuzz_targets.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh::fuzz {

int trzFile(const uint8_t* data, size_t size) {
  MemoryStream in(static_cast<const void*>(data), size);
  tTrz trz;
  // Small bounds, so that the refusal path is reached as well.
  trz.maxEntries = 64;
  trz.maxFootprint = 1 << 20;
  trz.open(in);
  if (trz.records.size() > trz.maxEntries) fail("a table grows past its bound");
  for (const tTransRecord& entry : trz.records) {
    for (size_t prefix : {size_t{0}, size_t{66}, size_t{102}}) {
      tRecordData record;
      record.subString = std::string(prefix, 'p') + std::string("\x03\x00" "abc" "tail", 9);
      record.subStringLength = static_cast<int32_t>(record.subString.size());
      record.title = "title";
      record.titleLength = 5;
      entry.doReplace(record, quietReporter());
      if (record.title.size() != record.titleLength ||
          record.subString.size() != static_cast<size_t>(record.subStringLength)) {
        fail("a replacement leaves a length that disagrees with its text");
      }
    }
  }
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::trzFile)
