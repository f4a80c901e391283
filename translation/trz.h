// TRZ: a scene's translation file, one entry per record to rewrite.
//
// Lines of bytes (GBK text passes through untouched), read by the stream's
// line rule, so CR LF and LF files read alike:
//
//   id=Forest010012     scene name, sub-scene in two digits, record in four
//   type=speech         the kind word, which decides what is rewritten
//   length=12           kept, never used
//   value=text<CR>more  the new text; "<CR>" stands for a line feed
//   >>                  closes the entry
//
// Keys are matched exactly (case and spaces count); other lines are ignored.
// Lines after the last ">>" belong to an entry that is never closed.
//
// The file is read as it streams, never held whole. A value longer than the
// installer can write (more than maxValue bytes once line breaks are
// restored) is counted and skipped as it comes: the entry keeps its length
// and changes nothing. Any other line is held to its first 64 KiB, more than
// any address, kind word or length needs.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/containers.h"
#include "common/fault.h"
#include "common/stream.h"
#include "translation/replace.h"

namespace vh {

class Reporter;
class tRecordData;

// Record kind codes. The "type" words of an entry and tRecordData::getType
// speak the same numbers.
inline constexpr int32_t kKindNone = 0;  // no "type" line: the entry changes nothing
inline constexpr int32_t kKindGroup = 1;
inline constexpr int32_t kKindSpeech = 2;
inline constexpr int32_t kKindObject = 3;
inline constexpr int32_t kKindText = 4;
inline constexpr int32_t kKindPerson = 5;
inline constexpr int32_t kKindOther = 7;  // any other word
inline constexpr int32_t kKindText2 = 100;

// One translation entry: which record of which sub-scene's record file gets
// which text. Filled by tTrz from a file, or field by field by the add-on
// list reader through setId and setType.
class tTransRecord {
 public:
  std::string scnId;   // the scene part of the address; replacement ignores it
  int32_t subId = 0;   // the sub-scene whose record file the entry applies to
  int32_t recId = 0;   // 0-based position in that record file's pre-order list
  std::string value;   // the new text, line feeds already restored
  int32_t length = 0;  // the "length" key, stored only
  int32_t typeId = 0;  // the kind code from setType (`typeid` is taken by C++)
  // The length of a value too long for the installer to write (more than
  // kMaxRecordText bytes), which was counted as it was read and not held:
  // `value` is then empty and the entry changes nothing. 0 for a value held.
  uint64_t overlongValue = 0;

  // The address: recId from the last 4 characters, subId from the first 2
  // of the last 6, scnId from what comes before those 6. A text shorter
  // than 4 gives recId from all of it; shorter than 6, subId from its first
  // 2 characters. Returns 0.
  int setId(const std::string& text);
  // typeId from the kind word, compared exactly: "text" 4, "text2" 100,
  // "object" 3, "speech" 2, "group" and "speechgroup" 1, "person" 5, any
  // other word (the empty one too) 7. Returns 0.
  int setType(const std::string& word);
  // Rewrites one record payload with `value` according to typeId; defined
  // with the record replacement in translation/replace.cpp; an entry that
  // cannot be written is skipped with a line in `report`'s debug log.
  // Returns 0.
  int doReplace(tRecordData& data, Reporter& report) const;

  // What the entry holds in memory, its text included, as a table of
  // entries stores it; what loading a package charges for it.
  uint64_t footprint() const;
};

// A value read as it streams in: held while the installer could still write
// it (at most `maxValue` bytes), only counted past that, so that a value of
// any length costs no more than that. With `restoreLineBreaks` every "<CR>"
// becomes a line feed as it comes, also one cut between two pieces.
class StreamedValue {
 public:
  StreamedValue(size_t maxValue, bool restoreLineBreaks) : max_(maxValue), restore_(restoreLineBreaks) {}
  // Carries on from the entry's value as it stands.
  void startWith(const tTransRecord& entry);
  void add(std::string_view bytes);
  // The value into the entry: held, or counted as too long to write.
  void finishInto(tTransRecord& entry);

 private:
  void emit(std::string_view bytes);
  size_t max_;
  bool restore_;
  std::string held_;
  std::string pending_;  // the start of a "<CR>" that the next piece may finish
  uint64_t length_ = 0;
};

// A translation table: the entries of one scene in file order (the package
// reader appends the scene's add-on entries after them).
class tTrz {
 public:
  // An address names one of 100 sub-scenes and one of 10,000 record
  // positions, and a record holds at most two texts that export offers
  // often (a title and an embedded text), so a longer table repeats itself.
  static constexpr size_t kMaxEntries = 2 * 100 * 10'000;

  // A deque, not a linked list: millions of entries cost no node of their
  // own and never a reallocated copy of the whole table.
  std::deque<tTransRecord> records;

  // Bounds on what reading may build. Reading stops at the entry that would
  // pass either and sets tooLarge; the table is then incomplete and its
  // reader refuses it.
  size_t maxEntries = kMaxEntries;
  uint64_t maxFootprint = std::numeric_limits<uint64_t>::max();
  uint64_t footprint = 0;  // the sum of the entries' footprints
  bool tooLarge = false;
  // Values longer than this are counted and skipped, not held: the
  // installer cannot write them. A tool that carries the translator's text
  // on unchanged may lift the bound.
  size_t maxValue = kMaxRecordText;
  size_t overlongValues = 0;  // values skipped so

  // A new table filled by open(source).
  static std::shared_ptr<tTrz> Load(Stream& source);
  static std::shared_ptr<tTrz> Load(const std::string& path, Reporter& report);

  // Reads the whole source from its position and shows nothing. The stream
  // stays open; it is the caller's. BadSize when the table would pass
  // maxEntries or maxFootprint: it is then incomplete, and tooLarge is set.
  [[nodiscard]] std::optional<Fault> read(Stream& source);
  // read(source) of the file at `path`; CannotOpen when it cannot be opened.
  [[nodiscard]] std::optional<Fault> read(const std::string& path);

  // read(source) for the installer, which looks at tooLarge. Returns 0.
  int open(Stream& source);
  // Reads the file at `path`. When it cannot be opened, shows "failed to read
  // translation data" (to `report`) and ends the process with status 0
  // (endProcess), so no partial table is ever returned.
  int open(const std::string& path, Reporter& report);
  // Reads lines until the end of the stream (or a bound on the table),
  // appending every entry closed by ">>". Returns 0.
  int readRecord(Stream& stream);
  // Splits a line at its first "=": key before, value after. A line without
  // "=", or starting with it, is all key. Returns 0.
  static int readfield(const std::string& line, std::string& key, std::string& value);
};

using tTrzPtr = std::shared_ptr<tTrz>;

}  // namespace vh
