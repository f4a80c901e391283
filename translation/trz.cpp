#include "translation/trz.h"

#include <algorithm>

#include "common/bytes.h"
#include "common/key_value.h"
#include "common/line_reader.h"
#include "common/report.h"

namespace vh {

namespace {

// An address ends in the sub-scene (2 digits) and the record (4 digits).
constexpr size_t kRecordDigits = 4;
constexpr size_t kAddressTail = 6;
constexpr size_t kSubDigits = 2;

constexpr std::string_view kLineBreakMarker = "<CR>";
constexpr const char* kEndOfEntry = ">>";

// Longer than every key the reader knows ("length").
constexpr size_t kLongestKey = 8;
// What is held of a line other than a value.
constexpr size_t kHeldLine = 1 << 16;

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

// ---- StreamedValue

void StreamedValue::startWith(const tTransRecord& entry) {
  if (entry.overlongValue > 0) {
    held_ = std::string();
    length_ = entry.overlongValue;
  } else {
    emit(entry.value);
  }
}

void StreamedValue::emit(std::string_view bytes) {
  length_ += bytes.size();
  if (length_ <= max_) {
    held_.append(bytes);
  } else if (!held_.empty()) {
    held_ = std::string();  // gives its memory back
  }
}

void StreamedValue::add(std::string_view bytes) {
  if (!restore_) return emit(bytes);
  while (!bytes.empty()) {
    if (!pending_.empty()) {
      // A marker's start that the last piece ended with: this piece finishes
      // it, or shows that it was text.
      const size_t take = std::min(kLineBreakMarker.size() - pending_.size(), bytes.size());
      if (kLineBreakMarker.substr(pending_.size(), take) != bytes.substr(0, take)) {
        const std::string rest = pending_.substr(1);
        emit(std::string_view(pending_).substr(0, 1));
        pending_.clear();
        add(rest);
        continue;
      }
      pending_.append(bytes.substr(0, take));
      bytes.remove_prefix(take);
      if (pending_.size() < kLineBreakMarker.size()) return;
      pending_.clear();
      emit("\n");
      continue;
    }
    const size_t open = bytes.find('<');
    emit(bytes.substr(0, open));
    if (open == std::string_view::npos) return;
    bytes.remove_prefix(open);
    if (bytes.starts_with(kLineBreakMarker)) {
      emit("\n");
      bytes.remove_prefix(kLineBreakMarker.size());
    } else if (bytes.size() < kLineBreakMarker.size() && kLineBreakMarker.starts_with(bytes)) {
      pending_ = bytes;
      return;
    } else {
      emit(bytes.substr(0, 1));
      bytes.remove_prefix(1);
    }
  }
}

void StreamedValue::finishInto(tTransRecord& entry) {
  // A marker cut short by the line's end is text.
  emit(pending_);
  pending_.clear();
  if (length_ > max_) {
    entry.value.clear();
    entry.overlongValue = length_;
  } else {
    // The value stays for the whole run: it keeps no more room than it
    // needs, whatever it grew through.
    held_.shrink_to_fit();
    entry.value = std::move(held_);
    entry.overlongValue = 0;
  }
  held_.clear();
  length_ = 0;
}

// ---- tTrz

std::shared_ptr<tTrz> tTrz::Load(Stream& source) {
  auto trz = std::make_shared<tTrz>();
  trz->open(source);
  return trz;
}

std::shared_ptr<tTrz> tTrz::Load(const std::string& path, Reporter& report) {
  auto trz = std::make_shared<tTrz>();
  trz->open(path, report);
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

int tTrz::open(const std::string& path, Reporter& report) {
  const std::optional<Fault> fault = read(path);
  if (fault && fault->kind == FaultKind::CannotOpen) {
    report.messageBox("failed to read translation data");
    endProcess(0);
  }
  return 0;
}

int tTrz::readfield(const std::string& line, std::string& key, std::string& value) {
  splitKeyValue(line, key, value);
  return 0;
}

int tTrz::readRecord(Stream& stream) {
  LineReader lines(stream);
  tTransRecord entry;
  std::string key, value;
  while (!lines.atEnd()) {
    const bool valueFollows = lines.readKey(kLongestKey, key);
    if (!valueFollows && key == kEndOfEntry) {
      const uint64_t cost = entry.footprint();
      if (records.size() >= maxEntries || cost > maxFootprint - footprint) {
        tooLarge = true;
        return 0;
      }
      footprint += cost;
      if (entry.overlongValue > 0) ++overlongValues;
      records.push_back(std::move(entry));
      entry = tTransRecord();
      continue;
    }
    if (key == "value") {
      StreamedValue streamed(maxValue, true);
      std::string_view piece;
      while (valueFollows && lines.nextPiece(piece)) streamed.add(piece);
      streamed.finishInto(entry);
      continue;
    }
    value.clear();
    if (valueFollows) lines.readRest(kHeldLine, value);
    if (key == "id") {
      entry.setId(value);
    } else if (key == "type") {
      entry.setType(value);
    } else if (key == "length") {
      entry.length = strToInt(value);
    }
  }
  // Whatever followed the last ">>" was never closed and is dropped.
  return 0;
}

}  // namespace vh
