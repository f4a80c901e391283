// XARC: the game's archive of one scene or sub-scene.
//
//   0  int32  xrcNo         carried through unchanged
//   4  int32  filecount     number of member table entries
//   8  int32  headerlength  where the first member's data begins
//  12  table  filecount x { name bytes, 0 byte, int32 length, int32 flag }
//   headerlength: the members' data, contiguous, in table order
//
// Offsets are not stored: member k starts at headerlength plus the lengths of
// the members before it, so a member whose data changes size simply shifts
// the ones after it when the archive is saved.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/byte_buffer.h"
#include "common/containers.h"
#include "common/fault.h"
#include "common/stream.h"

namespace vh {

class Reporter;
class tXARC;
class tXRC;  // formats/xrc.h

// One archive member. Plain members hold their data in `bank`; the record
// file overrides the loading and saving to hold a record tree instead.
class tXFile {
 public:
  virtual ~tXFile() = default;

  tXARC* parent = nullptr;  // the archive owns its members, not the reverse
  std::string name;
  int32_t offset = 0;  // computed on open, never written
  int32_t length = 0;
  ByteBufferPtr bank;  // null for the record file, and after save
  int32_t flag = 0;

  // Shares `buffer` as the member's data; `length` follows its size.
  virtual int replaceBank(ByteBufferPtr buffer);
  // `count` bytes read from the stream's position become the member's data.
  virtual int replaceWithStream(Stream& stream, int32_t count);
  virtual int Load(Stream& stream);
  virtual int save(Stream& stream);
  virtual int saveHeader(Stream& stream);
  // A readable and writable stream over the member's data, at position 0.
  virtual std::unique_ptr<Stream> getStream();

  static std::shared_ptr<tXFile> Create(const std::string& name, int32_t offset, int32_t length, tXARC* parent);

 protected:
  // A member of either kind, placed in its archive.
  template <class Member>
  static std::shared_ptr<Member> createAs(const std::string& name, int32_t offset, int32_t length, tXARC* parent) {
    auto file = std::make_shared<Member>();
    file->name = name;
    file->offset = offset;
    file->length = length;
    file->parent = parent;
    return file;
  }
};

using tXFilePtr = std::shared_ptr<tXFile>;

class tXARC {
 public:
  tXARC() = default;
  tXARC(const tXARC&) = delete;
  tXARC& operator=(const tXARC&) = delete;

  std::string url;
  List<tXFilePtr> files;
  int32_t xrcNo = 0;
  int32_t filecount = 0;
  int32_t headerlength = 0;
  std::shared_ptr<tXRC> xrc;  // the record-file member, if the table has one
  int32_t arcsize = 0;
  std::string name;
  int32_t subId = 0;  // set by the caller before open

  std::shared_ptr<tXRC> getXRC() const { return xrc; }
  // Writes the whole archive to a stream standing at its start. Plain
  // members release their data as they are written. Throws StreamError,
  // writing nothing, when the archive is not savable().
  int save(Stream& stream);
  // True after an open that read a whole header and table. An archive never
  // opened, one whose open returned 0, one opened from a file under 12
  // bytes (no members, a header of zeros), and one whose table, cut short
  // by the end of the file, would pass headerlength once written out in
  // full have nothing to write back.
  bool savable() const { return savable_; }
  // First member whose name matches, ignoring the case of A-Z only.
  tXFilePtr findFile(const std::string& memberName) const;
  // Loads the archive at `path` and shows nothing: no fault when loaded;
  // CannotOpen when the file cannot be opened; Damaged when its record file
  // is (tXRC::damage()), and then the archive holds no members and no record
  // file, so there is nothing that could be saved over the file; BadSize for
  // a table or plain member that the file cannot hold, or a member count
  // beyond what the file's bytes can back. The record file may be cut short
  // by the end of the file.
  [[nodiscard]] std::optional<Fault> read(const std::string& path);
  // The same from bytes already in memory (an original rebuilt from its
  // backup); `path` names the archive in messages.
  [[nodiscard]] std::optional<Fault> read(Stream& stream, const std::string& path);
  // read(), with its faults shown as the installer shows them: 1 when
  // loaded; 0 after the message openFailureText() gives for a file that
  // cannot be opened or whose record file is damaged; a size fault is the
  // fatal error "invalid XARC size:" + path. The message goes to `report`.
  int open(const std::string& path, Reporter& report);
  int open(Stream& stream, const std::string& path, Reporter& report);
  // The text the installer shows for a fault of read(path): "failed to
  // read:" + path, or "invalid XARC size:" + path for a size fault.
  static std::string openFailureText(const Fault& fault, const std::string& path);
  // Text after the last ".", lower-cased; "" without a ".".
  static std::string getExtName(const std::string& path);

 private:
  // Where the member table ended in the opened file, and the bytes that stood
  // between it and headerlength. Saving puts both back, so the first member's
  // data stays at headerlength even when the table is not packed against it.
  int64_t tableEnd_ = 0;
  std::string headerGap_;
  bool savable_ = false;

  int shown(const std::optional<Fault>& fault, const std::string& path, Reporter& report);
};

}  // namespace vh
