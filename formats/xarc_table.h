// An archive's header and member table, read in one place for the archive
// itself and for the tools that want only its record file (the layout is in
// formats/xarc.h). Every entry comes out with its bounds checked against the
// file; nothing here reads a member's data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/fault.h"
#include "common/stream.h"

namespace vh {

struct XarcEntry {
  std::string name;  // read by the line rule: carriage returns dropped
  int32_t length = 0;
  int32_t flag = 0;
  int64_t offset = 0;  // headerlength plus the lengths of the entries before
  bool isRecordFile = false;  // the extension is "xrc" in any case
};

struct XarcTable {
  int32_t xrcNo = 0;
  int32_t filecount = 0;
  int32_t headerlength = 0;
  // False for a file under 12 bytes: the header's fields hold what was there
  // and zeros for the rest, and the table has no entries.
  bool headerComplete = false;
  std::vector<XarcEntry> entries;
  // Where the table stopped in the file. A table cut short by the end of the
  // file stops at the end.
  int64_t tableEnd = 0;
  // Where the table ends once written back with every entry in full.
  int64_t savedTableEnd = 0;
  // The bytes that stood between the table's end and headerlength (as far as
  // the file goes).
  std::string headerGap;
};

// The header and table of the archive `stream` holds from its start. Cut
// short by the end of the file they read quietly, as the archive's rules
// want; BadSize for a member count the file's bytes cannot back, an entry
// whose data the file cannot hold (a plain member must be all there, the
// record file may run past the end) and a table that runs past headerlength.
// The stream is left where the reading stopped: whoever loads the members
// seeks to each one's offset.
Result<XarcTable> readXarcTable(Stream& stream);

}  // namespace vh
