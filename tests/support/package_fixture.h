// Zip packages of given members, built by the shared fixture builder rather
// than the program's own writer, so that the reader is tested against bytes
// the writer did not make.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/test_support.h"
#include "tools/fixture_bytes.h"

namespace vh::test {

inline std::string writePackage(const std::string& path,
                                const std::vector<std::pair<std::string, std::string>>& members) {
  writeFile(path, fixture::package(members));
  return path;
}

}  // namespace vh::test
