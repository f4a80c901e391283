#include "patch/patch_maker.h"

#include <unistd.h>

#include <cstdio>

#include "common/files.h"
#include "common/stream.h"
#include "formats/scene_list.h"
#include "formats/xarc.h"
#include "support/zip.h"

namespace vh {

tPatchMaker::tPatchMaker() = default;
tPatchMaker::~tPatchMaker() = default;

int tPatchMaker::Create(const std::string& url) {
  // The package is written beside its final name and renamed over it when
  // complete: a build that fails half-way keeps the previous package.
  const std::string building = url + ".building";
  file = std::make_shared<ZipWriter>();
  file->OpenZip(building, 0);
  if (!createXARCList()) {
    // An index file was refused: no package is better than one that lacks
    // a scene, and the previous one stays.
    file->CloseZip("");
    std::remove(building.c_str());
    return 0;
  }
  loadTrz();
  loadImages();
  loadExtra();
  loadAddon();
  file->CloseZip("");
  if (fileExists(building)) std::rename(building.c_str(), url.c_str());
  return 1;
}

int tPatchMaker::createXARCList() {
  BufferStream list(std::make_shared<ByteBuffer>());
  if (!writeSceneList(list)) return 0;
  list.seek(0);
  file->AddStream(&list, "patchscene.lst", "");
  return 1;
}

int tPatchMaker::loadTrz() {
  for (const std::string& entry : listFolder("trans/", true)) {
    if (tXARC::getExtName(entry) == "trz") file->AddFile("trans/" + entry, "");
  }
  return 0;
}

// The builder packs no replacement images.
int tPatchMaker::loadImages() { return 0; }

int tPatchMaker::loadExtra() { return loadListed("extra/", "extra.lst"); }

int tPatchMaker::loadAddon() { return loadListed("addon/", "addon.lst"); }

int tPatchMaker::loadListed(const std::string& folder, const std::string& listMember) {
  BufferStream list(std::make_shared<ByteBuffer>());
  for (const std::string& entry : listFolder(folder, true)) {
    // A subfolder is named in the list but adds no member; the installer
    // finds nothing under that name and skips it.
    file->AddFile(folder + entry, "");
    list.writeLine(entry);
  }
  list.seek(0);
  file->AddStream(&list, listMember, "");
  return 0;
}

}  // namespace vh
