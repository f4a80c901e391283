#include "formats/xrc.h"

#include <algorithm>

namespace vh {

namespace {

// The fixed fields of one record: two type bytes, id, titleLength,
// subStringLength, childCount and unkown.
constexpr int64_t kRecordFixedSize = 14;

}  // namespace

// ---- tRecordData

int tRecordData::getType() const {
  if (type1 == 9 && type2 == 6) return 1;
  switch (type1) {
    case 29:
      return 2;
    case 23:
    case 37:
      return 3;
    case 13:
      return 4;
    case 21:
      return type2 == 5 ? 5 : 0;
    case 3:
      return 6;
    default:
      return 7;
  }
}

// ---- tXRC

std::shared_ptr<tXRC> tXRC::Create(const std::string& name, int32_t offset, int32_t length, tXARC* parent) {
  return createAs<tXRC>(name, offset, length, parent);
}

std::optional<Fault> tXRC::read(Stream& stream) {
  // The table may end short of headerlength, and the member before may not
  // have left the stream where this one starts: only the own offset is sure.
  stream.seek(offset);
  readRecord(stream, nullptr);
  if (damage_.empty()) return std::nullopt;
  return Fault{FaultKind::Damaged, damage_};
}

int tXRC::Load(Stream& stream) {
  (void)read(stream);
  return 0;
}

void tXRC::setDamage(const tRecord& record, const std::string& what) {
  damage_ = "record " + std::to_string(record.id) + " of " + name + ": " + what;
}

bool tXRC::readFields(Stream& stream, tRecord& record, int64_t& claimedEnd, int64_t limit) {
  tRecordData& d = record.data;
  d.type1 = stream.readU8();
  d.type2 = stream.readU8();
  d.id = stream.readU16();
  d.titleLength = stream.readU16();
  // Every length is weighed against the data before anything is allocated
  // for it; claimedEnd is where the tree would end if it were all there.
  claimedEnd += d.titleLength;
  if (claimedEnd > limit) {
    setDamage(record, "title of " + std::to_string(d.titleLength) + " bytes reaches far past the end of the data");
    return false;
  }
  d.title = stream.readString(d.titleLength);
  d.subStringLength = stream.readI32();
  if (d.subStringLength < 0) {
    setDamage(record, "negative subStringLength " + std::to_string(d.subStringLength));
    return false;
  }
  claimedEnd += d.subStringLength;
  if (claimedEnd > limit) {
    setDamage(record,
              "subString of " + std::to_string(d.subStringLength) + " bytes reaches far past the end of the data");
    return false;
  }
  d.subString = stream.readString(static_cast<size_t>(d.subStringLength));
  d.childCount = stream.readU16();
  d.unkown = stream.readU16();
  claimedEnd += kRecordFixedSize * d.childCount;
  if (claimedEnd > limit) {
    setDamage(record, std::to_string(d.childCount) + " children need far more records than the data holds");
    return false;
  }
  return true;
}

int tXRC::readRecord(Stream& stream, const tRecordPtr& parent) {
  const int64_t limit = stream.size() + kZeroFillLimit;
  // The first record is claimed here; every other one was claimed (14 bytes
  // each) when its parent's childCount was read.
  int64_t claimedEnd = std::max<int64_t>(stream.position(), 0) + kRecordFixedSize;

  auto readOne = [&](const tRecordPtr& recordParent) -> tRecordPtr {
    ++recordcount;
    auto record = std::make_shared<tRecord>();
    record->id = recordcount;
    record->parent = recordParent;
    // Appended before its fields are read, so the list comes out in pre-order.
    records.push_back(record);
    if (!readFields(stream, *record, claimedEnd, limit)) return nullptr;
    return record;
  };

  // Records whose children are still to be read, innermost last.
  struct Open {
    tRecordPtr record;
    uint32_t childrenLeft;
  };
  std::vector<Open> open;

  tRecordPtr first = readOne(parent);
  if (!first) return 0;
  if (first->data.childCount > 0) open.push_back({first, first->data.childCount});
  while (!open.empty()) {
    if (open.back().childrenLeft == 0) {
      open.pop_back();
      continue;
    }
    --open.back().childrenLeft;
    const tRecordPtr recordParent = open.back().record;
    tRecordPtr child = readOne(recordParent);
    if (!child) return 0;
    if (child->data.childCount > 0) open.push_back({child, child->data.childCount});
  }
  return 0;
}

std::vector<tRecordPtr> tXRC::getRecordArray() const { return std::vector<tRecordPtr>(records.begin(), records.end()); }

int tXRC::calcLength() {
  int64_t total = 0;
  for (const tRecordPtr& record : records) {
    total += kRecordFixedSize + record->data.titleLength + record->data.subStringLength;
  }
  length = static_cast<int32_t>(total);
  return 0;
}

int tXRC::saveHeader(Stream& stream) {
  calcLength();
  return tXFile::saveHeader(stream);
}

int tXRC::save(Stream& stream) {
  for (const tRecordPtr& record : records) {
    const tRecordData& d = record->data;
    stream.writeU8(d.type1);
    stream.writeU8(d.type2);
    stream.writeU16(d.id);
    stream.writeU16(d.titleLength);
    stream.writeString(d.title);
    stream.writeI32(d.subStringLength);
    stream.writeString(d.subString);
    stream.writeU16(d.childCount);
    stream.writeU16(d.unkown);
  }
  return 0;
}

}  // namespace vh
