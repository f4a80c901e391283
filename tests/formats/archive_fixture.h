// Hand-built archives and record files for the format and translation tests,
// in the names those tests know; the bytes come from the shared fixture
// builder, which is independent of the program's writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/fixture_bytes.h"
#include "tests/test_support.h"

namespace vh::test {

using Member = fixture::ArchiveMember;
using Rec = fixture::Record;

inline std::string makeArchive(const std::vector<Member>& members, int32_t xrcNo = 7) {
  return fixture::archive(members, xrcNo);
}

inline std::string recordBytes(const Rec& r) { return fixture::record(r); }

// Records already in pre-order.
using fixture::recordFile;

// A subString embedding `text` after `prefix`: prefix, 16-bit length, text, tail.
inline std::string embedded(const std::string& prefix, const std::string& text, const std::string& tail) {
  return fixture::embeddedText(prefix, text, tail);
}

}  // namespace vh::test
