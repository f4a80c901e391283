// XRC: the record file inside every scene archive, a tree of records that
// holds the game's visible text.
//
// One record, integers little-endian, strings raw bytes without terminator:
//
//   0        u8     type1
//   1        u8     type2
//   2        u16    id               carried through unchanged
//   4        u16    titleLength      T
//   6        T      title
//   6+T      int32  subStringLength  S
//   10+T     S      subString        text kinds embed their text here
//   10+T+S   u16    childCount
//   12+T+S   u16    unkown           carried through unchanged
//   14+T+S          childCount records, each followed by its descendants
//
// The file is one root record and its whole tree in depth-first pre-order.
// Lengths are stored, not derived: whoever changes a string updates its
// length field, and only the member's total length in the archive table is
// recomputed when the archive is saved.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/containers.h"
#include "common/fault.h"
#include "common/stream.h"
#include "formats/xarc.h"

namespace vh {

// A record's payload, fields in the order the program keeps them (which is
// not the order on disk). After loading, titleLength is the size of title
// and subStringLength the size of subString.
class tRecordData {
 public:
  uint8_t type1 = 0;
  uint8_t type2 = 0;
  uint16_t id = 0;
  uint16_t titleLength = 0;
  int32_t subStringLength = 0;
  uint16_t childCount = 0;
  uint16_t unkown = 0;
  std::string subString;
  std::string title;

  // The record's kind by its two type bytes, in the codes the translation
  // files' "type" words carry: 1 group, 2 speech, 3 object, 4 text,
  // 5 person, 6 for type1 3, 0 for type1 21 with another type2 than 5, and
  // 7 for everything else.
  int getType() const;
};

// One node of the tree. A record does not list its children: the tree is
// the pre-order list together with each record's parent and childCount.
class tRecord {
 public:
  int32_t id = 0;                 // 1-based position in the file, in pre-order
  std::weak_ptr<tRecord> parent;  // expired for the root
  tRecordData data;
};

using tRecordPtr = std::shared_ptr<tRecord>;

// The record-file member of an archive. It keeps no byte buffer: its content
// exists only as the record tree, parsed when the archive is opened and
// written again when it is saved.
class tXRC : public tXFile {
 public:
  // Beyond the bytes the data holds, a tree may claim at most this many more
  // (zero-filled) bytes before it counts as damaged. A record file cut short
  // by the end of the archive keeps reading quietly: its missing strings and
  // counts come out as zeros. But a length of two gigabytes or a record
  // declaring thousands of children at the end of the data is no truncation,
  // and reading it would only fill memory with zeros.
  static constexpr int64_t kZeroFillLimit = 64 * 1024;

  List<tRecordPtr> records;  // pre-order: position i holds the record with id i + 1
  int32_t recordcount = 0;   // records read so far
  int32_t subId = 0;         // the archive's sub-scene number, copied on open

  static std::shared_ptr<tXRC> Create(const std::string& name, int32_t offset, int32_t length, tXARC* parent);

  // Seeks to the member's own offset and reads one record tree. A damaged
  // tree is the fault Damaged, with damage() as its detail, and leaves the
  // records read so far in place.
  [[nodiscard]] std::optional<Fault> read(Stream& stream);
  // read() for the archive's member loop. Returns 0; a damaged tree leaves
  // damage() set, and the archive refuses to open.
  int Load(Stream& stream) override;
  // Reads one record and all its descendants from the stream's position,
  // linking the first to `parent` (null for the root). Iterative, so that
  // no depth of tree can exhaust the call stack. Returns 0.
  int readRecord(Stream& stream, const tRecordPtr& parent);
  // The records as an array in the same order: index i has id i + 1.
  std::vector<tRecordPtr> getRecordArray() const;
  // length = the sum over all records of 14 + titleLength + subStringLength.
  int calcLength();
  // calcLength, then the table entry as for any member.
  int saveHeader(Stream& stream) override;
  // Writes every record in pre-order from its stored fields. Returns 0.
  int save(Stream& stream) override;

  // Why the record file could not be read, "" when it could: a negative
  // subStringLength, or a string or child count that claims far more than
  // the data holds (see kZeroFillLimit). The archive refuses to open then.
  const std::string& damage() const { return damage_; }

 private:
  // Reads one record's fields after it has been appended; false when damaged.
  bool readFields(Stream& stream, tRecord& record, int64_t& claimedEnd, int64_t limit);
  void setDamage(const tRecord& record, const std::string& what);

  std::string damage_;
};

using tXRCPtr = std::shared_ptr<tXRC>;

}  // namespace vh
