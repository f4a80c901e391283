#include "patch/patch_maker.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "app/desktop.h"
#include "common/files.h"
#include "common/stream.h"
#include "formats/scene_list.h"
#include "formats/xarc.h"
#include "support/zip.h"

namespace vh {

namespace {

constexpr const char* kNoWorkingTree = "no working tree here: data/ is missing";
constexpr const char* kFailedToWrite = "failed to write:";

// The rename lives in the folder's entry, which needs its own sync.
void syncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  ::close(fd);
}

}  // namespace

tPatchMaker::tPatchMaker() = default;
tPatchMaker::~tPatchMaker() = default;

int tPatchMaker::Create(const std::string& url) {
  // Without "data/" this is a player's folder, not a translator's: a build
  // here would replace the real package with one that has no scenes.
  if (!folderExists(kSceneIndexFolder)) {
    desktop().messageBox(kNoWorkingTree);
    return 0;
  }
  // The package is written beside its final name and renamed over it when
  // complete and on the disk: a build that fails keeps the previous package.
  const std::string building = url + ".building";
  file = std::make_shared<ZipWriter>();
  bool written = file->OpenZip(building, 0) != 0;
  if (written && !createXARCList()) {
    // An index file was refused and has said so: no package is better than
    // one that lacks a scene, and the previous one stays.
    file->CloseZip("");
    std::remove(building.c_str());
    return 0;
  }
  if (written) {
    loadTrz();
    loadImages();
    loadExtra();
    loadAddon();
    file->CloseZip("");
    written = !file->failed() && std::rename(building.c_str(), url.c_str()) == 0;
  }
  if (!written) {
    desktop().debugLog("building " + building + " failed, zip error " + std::to_string(file->error()));
    std::remove(building.c_str());
    desktop().messageBox(kFailedToWrite + url);
    return 0;
  }
  syncFolderOf(url);
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
