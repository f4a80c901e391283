// Builds patch.dat from the working tree beside the program: the scene list
// made from "data/", the translation files of "trans/", the pictures of
// "images/" with their image list, the files of "extra/" and "addon/" with
// their list members, and data/fingerprint.lst, in that order.
//
// A picture lives at images/<scene>/<sub-scene>/<member>.png (or .xmg, packed
// as it is) and replaces the member of that name in the sub-scene's archive;
// the sub-scene "99" is the scene's own archive.
#pragma once

#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "builder/deflate_pieces.h"
#include "install/services.h"
#include "support/known_stream.h"

namespace vh {

class BufferStream;
class Stream;
class ZipWriter;
class MemberQueue;

class tPatchMaker {
 public:
  // What it reads and writes, it reads and writes through `services`,
  // which must outlive it; its messages go there too.
  explicit tPatchMaker(const Services& services);
  ~tPatchMaker();

  std::shared_ptr<ZipWriter> file;
  // Threads that deflate members: 0 for one per core, 1 for none besides
  // the caller's (minizip then deflates, as it always did).
  int threads = 0;
  // Members whose bytes the package being replaced already holds are
  // copied from it as stored rather than deflated again.
  bool reusePrevious = true;
  // With more than one thread, members this large are deflated in pieces.
  DeflatePieces pieces;
  // Stored streams longer than this that their records vouch for are
  // copied from the package being replaced a block at a time; the queue's
  // own limit when unset.
  std::optional<uint64_t> copiedInBlocks;
  // Beside the package: what the build knew of each source it packed.
  static constexpr const char* kDigestSuffix = ".digests";
  // Beside the package: the one it replaced, kept so that the next build
  // writes over its blocks instead of freeing them and taking new ones.
  static constexpr const char* kSpareSuffix = ".spare";

  // 0 when an index file names an archive outside the game folder.
  int createXARCList();
  int loadTrz();
  int loadExtra();
  int loadAddon();
  // Packs data/fingerprint.lst, when the tree has one, as the game-version
  // check's list; true when packed.
  bool loadFingerprints();
  // 0 after a message box naming the file when a picture cannot be read or
  // names a scene or sub-scene the scene list lacks; a file that is no
  // picture for a member is named on standard error and left out; nothing
  // is packed without an "images/" folder.
  int loadImages();
  // Builds the whole package at `url`. 1 when it is written and on the
  // disk; 0 after a message box when there is no working tree here, an index
  // file or a picture was refused or a write failed, and then `url` is as it
  // was before.
  int Create(const std::string& url);
  // After a Create that wrote the package: the members whose streams it
  // knows it wrote (deflated them, or copied them after checking each
  // against the stream an earlier build deflated), each with where its
  // stream lies and its CRC-32, for the check of an installation that
  // follows at once. Empty after any other.
  const KnownStreams& writtenStreams() const { return writtenStreams_; }

 private:
  // Create's work once the claim is held, copying what it can from the
  // package it replaces when `reuse`; `inBlocks` false reads every reused
  // stream whole and checks it before it is written.
  int build(const std::string& url, const std::string& building, bool reuse, bool inBlocks);
  // Reads data/ into the scene list `list` holds from its start, and notes
  // each scene's sub-scenes; false when an index file was refused.
  bool sceneList(BufferStream& list);
  void loadListed(const std::string& folder, const std::string& listMember);
  void addFile(const std::string& path);
  void addStream(Stream& stream, const std::string& name);
  // 0 after `message` in a message box: a picture refused.
  int refusePicture(const std::string& message);
  void leaveOut(const std::string& path);

  Services services_;

  std::unique_ptr<MemberQueue> members_;

  // Every scene of the scene list with its sub-scene names, as the
  // installer will read them.
  std::map<std::string, std::set<std::string>> listedSubs_;
  // The scene list build() read before the package's writer was opened,
  // until createXARCList packs it.
  std::unique_ptr<BufferStream> readList_;
  // The package the build replaced, being closed; the maker waits for it
  // when it goes.
  std::future<void> replacedPackage_;
  KnownStreams writtenStreams_;
};

}  // namespace vh
