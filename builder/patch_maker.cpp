#include "builder/patch_maker.h"

#include <algorithm>
#include <cstdio>
#include <future>
#include <limits>
#include <optional>
#include <thread>

#include <zlib.h>

#include "builder/member_queue.h"
#include "builder/source_digests.h"
#include "common/bytes.h"
#include "common/file_system.h"
#include "common/files.h"
#include "common/report.h"
#include "common/stream.h"
#include "digest/sha256_engine.h"
#include "formats/scene_list.h"
#include "formats/xarc.h"
#include "install/installer_host.h"
#include "package/build_lock.h"
#include "package/fingerprint.h"
#include "pictures/xmg_picture.h"
#include "support/zip.h"
#include "translation/gbk.h"

namespace vh {

namespace {

constexpr const char* kNoWorkingTree = "no working tree here: data/ is missing";
constexpr const char* kFailedToWrite = "failed to write:";
constexpr const char* kAnotherBuild = "another build is writing:";

constexpr const char* kSceneListMember = "patchscene.lst";
constexpr const char* kImageFolder = "images/";
constexpr const char* kImageList = "images/images.lst";
const std::string kLeftOut = "left out, not a picture at images/<scene>/<sub-scene>/<member>.png or .xmg:";
const std::string kPictureUnlisted = "picture for a scene or sub-scene that data/ does not list:";
const std::string kPictureUnreadable = "failed to read picture:";
const std::string kPictureTwice = "two pictures for one archive member:";
const std::string kPictureNotGbk = "picture named with a character the game's archives cannot hold:";

// A folder's names in byte order, so that the same pictures always make the
// same image list.
std::vector<std::string> sortedListing(const std::string& folder) {
  std::vector<std::string> names = listFolder(folder, true);
  std::sort(names.begin(), names.end());
  return names;
}

// The image list is read line by line and its names turn back into member
// names with backslashes taken as slashes: a name with a line break or a
// backslash would come back as another one.
bool fitsImageList(const std::string& name) { return !name.empty() && name.find_first_of("\r\n\\") == std::string::npos; }

// An XMG picture's bytes, packed as they are once they decode as an image.
Result<ByteBufferPtr> readXmgBytes(const std::string& path) {
  if (const Result<XmgImage> image = readXmgFile(path); !image) return image.fault();
  auto in = FileStream::open(path, FileMode::Read);
  if (!in) return Fault{FaultKind::CannotOpen, path + ": cannot open the file"};
  auto bytes = std::make_shared<ByteBuffer>();
  bytes->readFrom(*in, static_cast<size_t>(in->size()));
  return bytes;
}

// Records where the package written at `building`, to be renamed to `url`,
// holds each file source the queue wrote, for the next build to prove them
// unchanged by their stamps or digests. A stream minizip deflated is found
// by reading the package back. A record that cannot be written, or that
// does not match, costs the next build time, never its package: it reads
// the package before it believes one. `placesKnown`: the writer knew where
// every stream lies, and the package need not be read.
void recordSources(const Services& services, const std::string& building, const std::string& url,
                   const std::vector<MemberQueue::Written>& sources, bool placesKnown) {
  const std::string path = url + tPatchMaker::kDigestSuffix;
  SourceDigests digests;
  ZipReader package;
  if (placesKnown) {
    for (const MemberQueue::Written& source : sources) digests.set(source.name, source.record);
  } else if (package.OpenZip(building)) {
    for (const MemberQueue::Written& source : sources) {
      std::optional<PackedMember> stored = package.LocatePacked(source.name);
      if (!stored || stored->crc != source.record.crc || stored->size != source.record.size) continue;
      SourceRecord record = source.record;
      record.storedAt = stored->storedAt;
      record.storedSize = stored->storedSize;
      if (!source.streamKnown) {
        if (!readStoredBytes(building, *stored)) continue;
        record.storedCrc = static_cast<uint32_t>(
            crc32_z(crc32(0L, Z_NULL, 0), stored->compressed.data(), stored->compressed.size()));
      }
      digests.set(source.name, record);
    }
    package.CloseZip();
  }
  if (!digests.write(services.files, path)) {
    services.report.debugLog("cannot write " + path + ", the next build inflates what it reuses");
    // Records of an older package would only be refused; whatever else
    // stands there is not the builder's.
    if (services.files.status(path).kind == FileKind::File) (void)services.files.removeFile(path);
  }
}

}  // namespace

tPatchMaker::tPatchMaker(const Services& services) : services_(services) {}
tPatchMaker::~tPatchMaker() = default;

int tPatchMaker::Create(const std::string& url) {
  // Without "data/" and beside a package this is a player's folder, not a
  // translator's: a build here would replace the real package with one that
  // has no scenes. With no package to lose, the tree builds as it stands.
  if (!folderExists(kSceneIndexFolder) && fileKind(url) != FileKind::Missing) {
    services_.report.messageBox(kNoWorkingTree);
    return 0;
  }
  // The package is written beside its final name and renamed over it when
  // complete and on the disk: a build that fails keeps the previous package.
  const std::string building = url + ".building";
  // Locked while it is written, so that an installation meanwhile leaves it
  // alone, and two builds never write one file.
  // The package the last build replaced becomes the file written.
  const auto claim = BuildLock::take(building, url + kSpareSuffix);
  if (!claim) {
    services_.report.messageBox(kAnotherBuild + building);
    return 0;
  }
  try {
    return build(url, building, reusePrevious, true);
  } catch (const StoredStreamChanged& changed) {
    // The member written from a stream that proved different is wrong: the
    // try is dropped, its file written again from the start (the same file,
    // which holds the claim), and the next try checks every stream it
    // reuses before writing it, so that this one is deflated afresh.
    services_.report.debugLog(std::string(changed.what()) + "; building again");
    members_.reset();
    file->CloseZip("");
    listedSubs_.clear();
    return build(url, building, reusePrevious, false);
  }
}

int tPatchMaker::build(const std::string& url, const std::string& building, bool reuse, bool inBlocks) {
  writtenStreams_.clear();
  const int workers =
      threads > 0 ? threads : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  // Read while it is still there: the new package only replaces it at the
  // end. One that cannot be opened is no help, and the build starts afresh.
  // Opening it and reading its sources' records walks its whole directory,
  // so with threads to spare that is done while data/ is read for the
  // scene list: both only read.
  struct Previous {
    std::unique_ptr<ZipReader> package;
    SourceDigests known;
  };
  const auto openPrevious = [this, &url, reuse] {
    Previous previous{std::make_unique<ZipReader>(), SourceDigests()};
    if (!reuse || !previous.package->OpenZip(url)) {
      previous.package.reset();
    } else {
      previous.known = SourceDigests::read(services_.files, url + kDigestSuffix);
    }
    return previous;
  };
  std::future<Previous> opening;
  if (workers > 1) opening = std::async(std::launch::async, openPrevious);
  // The first source whose stamp does not vouch for it is digested on a
  // worker while the writer waits for it: SHA-256 is readied meanwhile.
  std::future<void> digestReady;
  if (workers > 1) digestReady = std::async(std::launch::async, Sha256Engine::prepare);
  readList_ = std::make_unique<BufferStream>(std::make_shared<ByteBuffer>());
  const bool listed = sceneList(*readList_);
  Previous opened = opening.valid() ? opening.get() : openPrevious();
  const std::unique_ptr<ZipReader>& previous = opened.package;
  const SourceDigests& known = opened.known;
  // An index file that was refused has said so: no package is better than
  // one that lacks a scene, and the previous one stays.
  if (!listed) {
    (void)services_.files.removeFile(building);
    return 0;
  }
  file = std::make_shared<ZipWriter>();
  file->m_writeOver = true;
  bool written = file->OpenZip(building, 0) != 0;
  if (written) {
    members_ = std::make_unique<MemberQueue>(*file, workers, previous.get(), MemberQueue::kWeightLimit, pieces, &known,
                                             &services_.files);
    members_->copyInBlocksAbove(!inBlocks ? std::numeric_limits<uint64_t>::max()
                                           : copiedInBlocks.value_or(MemberQueue::kCopiedInBlocks));
  }
  std::vector<MemberQueue::Written> sources;
  // An index file or a picture that was refused has said so, as above.
  const auto refused = [&] {
    members_.reset();
    file->CloseZip("");
    (void)services_.files.removeFile(building);
    return 0;
  };
  if (written && !createXARCList()) return refused();
  if (written) {
    loadTrz();
    if (!loadImages()) return refused();
    loadExtra();
    loadAddon();
    loadFingerprints();
    members_->finish();
    services_.report.debugLog("packed " + std::to_string(members_->written()) + " members, " +
                              std::to_string(members_->reused()) + " of them as the previous package held them, " +
                              std::to_string(members_->reusedByDigest()) + " proved the same by their records, " +
                              std::to_string(members_->reusedByStamp()) + " of those by their stamps alone");
    sources = members_->takeSources();
    members_.reset();
    // The records are written before the package is renamed, so that one
    // sync of the folder makes both renames durable. When every stream's
    // place is known they need nothing of the package, and are written
    // while it is closed and synced. Should the package then fail, they
    // describe one that is not there: the next build believes a record
    // only where the package it finds agrees with it.
    const bool placesKnown = std::all_of(sources.begin(), sources.end(),
                                         [](const MemberQueue::Written& source) { return source.streamKnown; });
    std::future<void> recording;
    if (workers > 1 && placesKnown) {
      recording = std::async(std::launch::async, [&] { recordSources(services_, building, url, sources, true); });
    }
    if (previous) previous->CloseZip();
    file->CloseZip("");
    written = !file->failed();
    if (recording.valid()) {
      recording.get();
    } else if (written) {
      recordSources(services_, building, url, sources, placesKnown);
    }
    // The package replaced is kept as the spare the next build writes
    // over: freeing its blocks and pages costs some milliseconds for tens
    // of megabytes, on a disk that discards freed blocks as many more, and
    // the next build would take as many new ones. The swap puts the new
    // package in place in one step, as the rename does.
    const bool swapped = written && services_.files.status(url).kind == FileKind::File &&
                         services_.files.exchange(building, url);
    if (swapped && !services_.files.rename(building, url + kSpareSuffix)) {
      // Left under the unfinished name, it is what an installation removes
      // and what the next build writes over.
      services_.report.debugLog("cannot keep " + url + kSpareSuffix);
    }
    // Without the swap, the package replaced is held open through the
    // rename and let go on a thread, so that freeing it is not spent before
    // an installation that follows could read the new one.
    std::optional<RegularFile> replaced =
        written && !swapped && RegularFile::outlivesItsName() ? RegularFile::open(url) : std::nullopt;
    written = swapped || (written && services_.files.rename(building, url));
    if (replaced) {
      replacedPackage_ = std::async(std::launch::async, [held = std::move(*replaced)]() mutable {
        const RegularFile closing = std::move(held);  // closed here, on this thread
      });
    }
  }
  if (!written) {
    services_.report.debugLog("building " + building + " failed, zip error " + std::to_string(file->error()));
    (void)services_.files.removeFile(building);
    services_.report.messageBox(kFailedToWrite + url);
    return 0;
  }
  // The renames live in the folder's entries, which need their own sync.
  services_.files.syncFolder(folderOf(url));
  for (const MemberQueue::Written& source : sources) {
    if (!source.streamKnown) continue;
    const SourceRecord& record = source.record;
    writtenStreams_[source.name] = {record.storedAt, record.storedSize, record.storedCrc, record.size, record.crc};
  }
  return 1;
}

int tPatchMaker::createXARCList() {
  // The list the build read while it opened the package it replaces, or
  // else one read now.
  std::unique_ptr<BufferStream> list = std::move(readList_);
  if (!list) {
    list = std::make_unique<BufferStream>(std::make_shared<ByteBuffer>());
    if (!sceneList(*list)) return 0;
  }
  addStream(*list, kSceneListMember);
  return 1;
}

bool tPatchMaker::sceneList(BufferStream& list) {
  if (!writeSceneList(list, services_.report)) return false;
  // Read back by the installer's rules: a scene listed twice keeps only its
  // last block.
  list.seek(0);
  std::set<std::string>* subs = nullptr;
  while (!list.atEnd()) {
    std::string key, value;
    splitKeyValue(list.readLine(), key, value);
    if (key == "scene") {
      subs = &listedSubs_[value];
      subs->clear();
    } else if (key == "sub" && subs) {
      subs->insert(value);
    }
  }
  list.seek(0);
  return true;
}

int tPatchMaker::loadTrz() {
  for (const std::string& entry : listFolder("trans/", true)) {
    if (tXARC::getExtName(entry) == "trz") addFile("trans/" + entry);
  }
  return 0;
}

int tPatchMaker::loadImages() {
  if (!folderExists(kImageFolder)) return 1;
  BufferStream list(std::make_shared<ByteBuffer>());
  // Lower-cased: the installer finds package and archive members whatever
  // their letter case, so two names that differ only in case are one.
  std::set<std::string> packed;
  for (const std::string& scene : sortedListing(kImageFolder)) {
    const std::string sceneFolder = kImageFolder + scene;
    if (fileKind(sceneFolder) != FileKind::Folder || !fitsImageList(scene)) {
      leaveOut(sceneFolder);
      continue;
    }
    const auto subs = listedSubs_.find(scene);
    if (subs == listedSubs_.end()) return refusePicture(kPictureUnlisted + sceneFolder);
    for (const std::string& sub : sortedListing(sceneFolder + "/")) {
      const std::string subFolder = sceneFolder + "/" + sub;
      if (fileKind(subFolder) != FileKind::Folder || !fitsImageList(sub)) {
        leaveOut(subFolder);
        continue;
      }
      if (!subs->second.count(sub)) return refusePicture(kPictureUnlisted + subFolder);
      for (const std::string& picture : sortedListing(subFolder + "/")) {
        const std::string path = subFolder + "/" + picture;
        const std::string extension = tXARC::getExtName(picture);
        const size_t dot = picture.rfind('.');
        // The member the picture replaces is its name without the extension.
        const std::string origin = dot == std::string::npos ? "" : picture.substr(0, dot);
        if (fileKind(path) != FileKind::File || (extension != "png" && extension != "xmg") || origin.empty() ||
            !fitsImageList(picture)) {
          leaveOut(path);
          continue;
        }
        // The file is named in UTF-8, the member it replaces in GBK.
        const std::optional<std::string> stored = archiveName(origin);
        if (!stored) return refusePicture(kPictureNotGbk + path);
        const std::string member = kImageFolder + scene + "/" + sub + "/" + origin + ".xmg";
        if (!packed.insert(lowerCase(member)).second) return refusePicture(kPictureTwice + path);
        const Result<ByteBufferPtr> image = extension == "png" ? encodePictureFile(path) : readXmgBytes(path);
        if (!image) return refusePicture(kPictureUnreadable + image.fault().detail);
        BufferStream bytes(image.value());
        addStream(bytes, member);
        list.writeLine(makeKeyValue("name", scene + "/" + sub + "/" + picture));
        list.writeLine(makeKeyValue("origin", *stored));
        list.writeLine(makeKeyValue("scene", scene));
        list.writeLine(makeKeyValue("sub", sub));
        list.writeLine(">>");
      }
    }
  }
  // A tree without pictures makes the same package as one without "images/".
  if (packed.empty()) return 1;
  list.seek(0);
  addStream(list, kImageList);
  return 1;
}

bool tPatchMaker::loadFingerprints() {
  auto list = FileStream::open(kFingerprintFile, FileMode::Read);
  if (!list) return false;
  addStream(*list, kFingerprintMember);
  return true;
}

int tPatchMaker::loadExtra() {
  loadListed("extra/", "extra.lst");
  return 0;
}

int tPatchMaker::loadAddon() {
  loadListed("addon/", "addon.lst");
  return 0;
}

void tPatchMaker::loadListed(const std::string& folder, const std::string& listMember) {
  BufferStream list(std::make_shared<ByteBuffer>());
  for (const std::string& entry : listFolder(folder, true)) {
    // A subfolder is named in the list but adds no member; the installer
    // finds nothing under that name and skips it.
    addFile(folder + entry);
    list.writeLine(entry);
  }
  list.seek(0);
  addStream(list, listMember);
}

void tPatchMaker::addFile(const std::string& path) {
  if (members_) members_->addFile(path);
}

// The stream's bytes from its position to its end, as the writer's
// AddStream takes them.
void tPatchMaker::addStream(Stream& stream, const std::string& name) {
  if (!members_) return;
  MemberBytes bytes(static_cast<size_t>(stream.remaining()));
  stream.readFixed(bytes.data(), bytes.size());
  members_->addBytes(name, std::move(bytes));
}

}  // namespace vh

namespace vh {

int tPatchMaker::refusePicture(const std::string& message) {
  services_.report.messageBox(message);
  return 0;
}

// A file that is no picture for a member (notes, a thumbnail cache an image
// viewer left) costs the translator nothing: it is named and not packed.
void tPatchMaker::leaveOut(const std::string& path) { services_.host.printErrorLine(kLeftOut + path); }

}  // namespace vh
