#include "translation/trz.h"

#include "common/bytes.h"
#include "common/key_value.h"
#include "common/report.h"

namespace vh {

namespace {

// An address ends in the sub-scene (2 digits) and the record (4 digits).
constexpr size_t kRecordDigits = 4;
constexpr size_t kAddressTail = 6;
constexpr size_t kSubDigits = 2;

constexpr const char* kLineBreakMarker = "<CR>";
constexpr const char* kEndOfEntry = ">>";

std::string restoreLineBreaks(const std::string& text) {
  const std::string marker = kLineBreakMarker;
  std::string out;
  out.reserve(text.size());
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(marker, from);
    if (at == std::string::npos) break;
    out.append(text, from, at - from);
    out.push_back('\n');
    from = at + marker.size();
  }
  out.append(text, from, std::string::npos);
  return out;
}

// A string's own characters live inside it up to its short-string
// capacity; longer ones take a heap block with the allocator's header,
// rounded to its 16-byte granularity.
uint64_t heapBytes(const std::string& text) {
  const auto* self = reinterpret_cast<const char*>(&text);
  if (text.data() >= self && text.data() < self + sizeof text) return 0;
  constexpr uint64_t kHeader = 8, kGrain = 16;
  return (text.capacity() + 1 + kHeader + kGrain - 1) / kGrain * kGrain;
}

}  // namespace

// ---- tTransRecord

int tTransRecord::setId(const std::string& text) {
  const size_t n = text.size();
  recId = strToInt(n < kRecordDigits ? text : text.substr(n - kRecordDigits));
  subId = strToInt(n < kAddressTail ? text.substr(0, kSubDigits) : text.substr(n - kAddressTail, kSubDigits));
  scnId = n > kAddressTail ? text.substr(0, n - kAddressTail) : "";
  return 0;
}

int tTransRecord::setType(const std::string& word) {
  if (word == "text") {
    typeId = kKindText;
  } else if (word == "text2") {
    typeId = kKindText2;
  } else if (word == "object") {
    typeId = kKindObject;
  } else if (word == "speech") {
    typeId = kKindSpeech;
  } else if (word == "group" || word == "speechgroup") {
    typeId = kKindGroup;
  } else if (word == "person") {
    typeId = kKindPerson;
  } else {
    typeId = kKindOther;
  }
  return 0;
}

uint64_t tTransRecord::footprint() const {
  // A deque block of 512 bytes holds six entries with 32 bytes to spare.
  constexpr uint64_t kSlot = sizeof(tTransRecord) + 8;
  return kSlot + heapBytes(scnId) + heapBytes(value);
}

// ---- tTrz

std::shared_ptr<tTrz> tTrz::Load(Stream& source) {
  auto trz = std::make_shared<tTrz>();
  trz->open(source);
  return trz;
}

std::shared_ptr<tTrz> tTrz::Load(const std::string& path) {
  auto trz = std::make_shared<tTrz>();
  trz->open(path);
  return trz;
}

std::optional<Fault> tTrz::read(Stream& source) {
  readRecord(source);
  if (tooLarge) return Fault{FaultKind::BadSize, "the table would pass its bound on entries or memory"};
  return std::nullopt;
}

std::optional<Fault> tTrz::read(const std::string& path) {
  // Reading needs no write access: a translation file in a read-only
  // folder is as good as any.
  auto stream = FileStream::open(path, FileMode::Read);
  if (!stream) return Fault{FaultKind::CannotOpen, path + ": cannot open the file"};
  return read(*stream);
}

int tTrz::open(Stream& source) {
  (void)read(source);
  return 0;
}

int tTrz::open(const std::string& path) {
  const std::optional<Fault> fault = read(path);
  if (fault && fault->kind == FaultKind::CannotOpen) {
    reporter().messageBox("failed to read translation data");
    endProcess(0);
  }
  return 0;
}

int tTrz::readfield(const std::string& line, std::string& key, std::string& value) {
  splitKeyValue(line, key, value);
  return 0;
}

int tTrz::readRecord(Stream& stream) {
  tTransRecord entry;
  std::string key, value;
  while (!stream.atEnd()) {
    const std::string line = stream.readLine();
    if (line == kEndOfEntry) {
      const uint64_t cost = entry.footprint();
      if (records.size() >= maxEntries || cost > maxFootprint - footprint) {
        tooLarge = true;
        return 0;
      }
      footprint += cost;
      records.push_back(std::move(entry));
      entry = tTransRecord();
      continue;
    }
    readfield(line, key, value);
    if (key == "id") {
      entry.setId(value);
    } else if (key == "type") {
      entry.setType(value);
    } else if (key == "length") {
      entry.length = strToInt(value);
    } else if (key == "value") {
      entry.value = restoreLineBreaks(value);
    }
  }
  // Whatever followed the last ">>" was never closed and is dropped.
  return 0;
}

}  // namespace vh
