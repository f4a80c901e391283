#include "formats/scene_list.h"

#include <memory>
#include <optional>
#include <vector>

#include "common/bytes.h"
#include "common/files.h"
#include "common/report.h"
#include "common/stream.h"

namespace vh {

namespace {

// Scene names up to this length sit in the game folder itself; longer ones
// under "static/".
constexpr size_t kShortSceneName = 6;

std::string withSlash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder;
  return folder + "/";
}

}  // namespace

std::string sceneFolderPrefix(const std::string& scene) { return scene.size() > kShortSceneName ? "static/" : ""; }

std::string sceneArchivePath(const std::string& scene) {
  return sceneFolderPrefix(scene) + scene + "/" + scene + ".xarc";
}

std::string subSceneArchivePath(const std::string& scene, const std::string& id) {
  return sceneFolderPrefix(scene) + scene + "/" + id + "/" + id + ".xarc";
}

namespace {

// An index is some hundreds of bytes, and a build reads hundreds of them:
// one that small is read whole in one call, rather than through stdio,
// whose opening and first read ask the system three more times what the
// file is. A larger one is read a line at a time.
constexpr uint64_t kIndexReadWhole = 64u << 10;

std::unique_ptr<Stream> openSceneIndex(const std::string& path) {
  std::optional<RegularFile> file = RegularFile::open(path);
  if (!file) return nullptr;
  if (file->size() > kIndexReadWhole) return FileStream::adopt(file->release(), FileMode::Read);
  // The bytes it had when it was opened: should it grow meanwhile, what
  // was added after is not read; should it shrink, what is left.
  auto bytes = std::make_shared<ByteBuffer>(static_cast<size_t>(file->size()));
  size_t filled = 0;
  while (filled < bytes->size()) {
    const std::optional<size_t> got = file->read(bytes->data() + filled, bytes->size() - filled);
    if (!got) return nullptr;
    if (*got == 0) break;
    filled += *got;
  }
  bytes->resize(filled);
  return std::make_unique<BufferStream>(std::move(bytes));
}

}  // namespace

Result<std::vector<SceneArchive>> readSceneIndex(const std::string& scene, const std::string& indexPath) {
  const std::unique_ptr<Stream> index = openSceneIndex(indexPath);
  if (!index) return Fault{FaultKind::CannotOpen, indexPath};
  std::vector<SceneArchive> archives{{kOwnArchiveSub, sceneArchivePath(scene)}};
  bool inSubScenes = false;
  std::string key, value;
  // The installer writes where a path leads: an index that would lead it
  // out of the game folder is refused whole.
  while (!escapesFolder(archives.back().path) && !index->atEnd()) {
    splitKeyValue(index->readLine(), key, value);
    if (key == "-records-") break;
    if (key == "-sub-") {
      inSubScenes = true;
    } else if (key == "id" && inSubScenes) {
      archives.push_back({value, subSceneArchivePath(scene, value)});
    }
  }
  if (escapesFolder(archives.back().path)) return Fault{FaultKind::Damaged, archives.back().path};
  return archives;
}

namespace {

enum class Entry { Written, Unreadable, Refused };

// The entry of `scene` from the index file at `indexPath`.
Entry writeEntryFrom(Stream& out, const std::string& scene, const std::string& indexPath, Reporter& report) {
  const auto archives = readSceneIndex(scene, indexPath);
  if (!archives && archives.fault().kind == FaultKind::CannotOpen) {
    // A listed index that cannot be read names no archives; an empty block
    // would still put the scene into the package with nothing to patch.
    report.debugLog("scene list: cannot open " + indexPath + ", scene skipped");
    return Entry::Unreadable;
  }
  if (!archives) {
    const std::string& path = archives.fault().detail;
    report.debugLog("scene list: " + indexPath + " names " + path);
    report.messageBox("refused archive path outside the game folder:" + path);
    return Entry::Refused;
  }
  out.writeLine(makeKeyValue("scene", scene));
  for (const SceneArchive& archive : archives.value()) {
    out.writeLine(makeKeyValue("sub", archive.sub));
    out.writeLine(makeKeyValue("path", archive.path));
  }
  out.writeLine(">>");
  return Entry::Written;
}

}  // namespace

int writeSceneEntry(Stream& out, const std::string& scene, Reporter& report, const std::string& dataFolder) {
  return writeEntryFrom(out, scene, withSlash(dataFolder) + scene + ".orz", report) == Entry::Written ? 1 : 0;
}

int writeSceneList(Stream& out, Reporter& report, const std::string& dataFolder) {
  for (const std::string& name : listFolder(dataFolder)) {
    const std::vector<std::string> parts = split(name, '.');
    // The file is opened by the name it is listed under: an index named
    // "Scene.ORZ" is found on a file system that tells letter cases apart
    // just as on one that does not.
    if (parts.size() == 2 && lowerCase(parts[1]) == "orz" &&
        writeEntryFrom(out, parts[0], withSlash(dataFolder) + name, report) == Entry::Refused) {
      return 0;
    }
  }
  return 1;
}

}  // namespace vh
