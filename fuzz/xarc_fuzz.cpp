// An archive and its record file as the installer handles one: opened from
// a file, a translation applied to its records, saved, and the saved bytes
// opened again. What was saved must open, and saving it again must give the
// same bytes.
#include "common/stream.h"
#include "formats/xarc.h"
#include "formats/xrc.h"
#include "fuzz/fuzz_targets.h"
#include "translation/replace.h"
#include "translation/trz.h"

namespace vh::fuzz {

namespace {

// One entry of every kind for the first records of sub-scene 1, texts of
// growing length, so titles and embedded texts both change size.
const tTrz& translation() {
  static const tTrz table = [] {
    tTrz trz;
    const int32_t kinds[] = {kKindSpeech, kKindText, kKindText2, kKindGroup, kKindObject, kKindPerson, kKindOther};
    for (int32_t i = 0; i < 24; ++i) {
      tTransRecord entry;
      entry.subId = 1;
      entry.recId = i;
      entry.typeId = kinds[i % 7];
      entry.value = std::string(static_cast<size_t>(i * 3), static_cast<char>('a' + i));
      trz.records.push_back(entry);
    }
    return trz;
  }();
  return table;
}

std::string saved(tXARC& archive) {
  auto buffer = std::make_shared<ByteBuffer>();
  BufferStream out(buffer);
  archive.save(out);
  return buffer->toString();
}

}  // namespace

int xarcRoundTrip(const uint8_t* data, size_t size) {
  const std::string path = writeScratch("in.xarc", data, size);
  tXARC archive;
  archive.subId = 1;
  if (archive.read(path)) return 0;
  if (archive.xrc) applyTrz(*archive.xrc, translation(), quietReporter());
  if (!archive.savable()) return 0;
  const std::string first = saved(archive);

  const std::string again = writeScratch("saved.xarc", first.data(), first.size());
  tXARC reopened;
  reopened.subId = 1;
  if (reopened.read(again)) fail("a saved archive does not open");
  if (!reopened.savable()) fail("a saved archive cannot be saved");
  if (saved(reopened) != first) fail("a saved archive saves differently");
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::xarcRoundTrip)
