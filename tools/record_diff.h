// Records as text for a UTF-8 terminal, and the difference between two
// opened archives: what `vhtool dump --diff` prints and `vhtool preview`
// prints for each archive a translation would change.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <string>

namespace vh {
class tRecordData;
class tXARC;
}  // namespace vh

namespace vh::tool {

// GBK text for a UTF-8 terminal; bytes that are no valid GBK, and control
// characters, come out escaped so that a record stays one line.
class GbkPrinter {
 public:
  GbkPrinter();
  ~GbkPrinter();
  GbkPrinter(const GbkPrinter&) = delete;
  GbkPrinter& operator=(const GbkPrinter&) = delete;

  std::string show(const std::string& bytes) const;

 private:
  bool utf8(const std::string& pair, std::string& out) const;
  iconv_t convert_;
};

// The address prefix a translation entry uses for the archive at `path`:
// the scene and the two-digit sub-scene, from where the archive lies
// (S/S.xarc is sub-scene 99, S/N/N.xarc is sub-scene N).
std::string addressPrefix(const std::string& path);
std::string fourDigits(size_t n);

// One line: type bytes, kind with the TRZ kind words that fit it, title and
// every embedded text under its kind word.
std::string describeRecord(const tRecordData& data, const GbkPrinter& gbk);

// Members that differ, then every record whose type or strings differ, as
// before and after lines, then a count. `afterPath` gives the addresses.
void printArchiveDiff(const tXARC& before, const std::string& beforePath, const tXARC& after,
                      const std::string& afterPath);

}  // namespace vh::tool
