// The backup folder's two records, as an installation or an uninstallation
// reads them: the same bytes as a pieces file and as a manifest. Whatever
// they read as names only paths inside the game folder in their normal
// form, and is written back to text that reads as the same record.
#include <string_view>

#include "backup/backup_records.h"
#include "common/files.h"
#include "fuzz/fuzz_targets.h"

namespace vh::fuzz {

namespace {

void expectGamePath(const std::string& path) {
  if (pathInFolder(path) != path) fail("a backup record names a path no installation writes");
}

}  // namespace

int backupRecords(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto pieces = readPiecesFile(text)) {
    expectGamePath(pieces.value().path);
    const std::string written = piecesFileText(pieces.value());
    const auto again = readPiecesFile(written);
    if (!again || piecesFileText(again.value()) != written || again.value().steps != pieces.value().steps ||
        again.value().data != pieces.value().data) {
      fail("a pieces file does not read back as it was written");
    }
  }
  if (const auto manifest = readManifest(text)) {
    Manifest read = manifest.value();
    for (const Manifest::File& file : read.files) expectGamePath(file.path);
    for (const Manifest::Untouched& untouched : read.untouched) expectGamePath(untouched.path);
    for (const std::string& folder : read.folders) expectGamePath(folder);
    for (const Manifest::File& file : read.files) {
      if (!isPiecesName(file.pieces)) fail("a manifest names a file of the backup folder that is no pieces file");
    }
    // Written, it is a manifest of the current version.
    read.version = Manifest{}.version;
    const auto again = readManifest(manifestText(read));
    if (!again || !(again.value() == read)) fail("a manifest does not read back as it was written");
  }
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::backupRecords)
