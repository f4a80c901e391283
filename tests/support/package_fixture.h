// Zip packages of given members, built by the shared fixture builder rather
// than the program's own writer, so that the reader is tested against bytes
// the writer did not make.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fixtures/fixture_bytes.h"
#include "support/zip.h"
#include "tests/test_support.h"

namespace vh::test {

inline std::string writePackage(const std::string& path,
                                const std::vector<std::pair<std::string, std::string>>& members) {
  writeFile(path, fixture::package(members));
  return path;
}

// Every member of a package with its bytes, in name order.
inline std::vector<std::pair<std::string, std::string>> packageMembers(const std::string& path) {
  ZipReader reader;
  EXPECT_EQ(reader.OpenZip(path), 1) << path;
  std::vector<std::pair<std::string, std::string>> members;
  for (int i = 0; i < reader.getFileCount(); ++i) {
    const std::string name = reader.getFileInfo(i)->zipFileName;
    const auto stream = reader.ExtractFile(name, 1, "");
    EXPECT_NE(stream, nullptr) << name;
    if (stream) members.emplace_back(name, stream->readString(static_cast<size_t>(stream->size())));
  }
  return members;
}

// A download with one spoilt byte: the byte in the middle of the member's
// stored data is inverted, its headers stay as they were.
inline void damageMember(const std::string& path, const std::string& member) {
  std::string bytes = readFile(path);
  auto u16 = [&](size_t at) {
    return static_cast<size_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
  };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  for (size_t at = 0; bytes.compare(at, 4, "PK\x03\x04") == 0;) {
    const size_t nameLength = u16(at + 26);
    const size_t data = at + 30 + nameLength + u16(at + 28);
    const size_t stored = u32(at + 18);
    if (bytes.compare(at + 30, nameLength, member) == 0 && stored > 0) {
      bytes[data + stored / 2] = static_cast<char>(bytes[data + stored / 2] ^ 0xFF);
      writeFile(path, bytes);
      return;
    }
    at = data + stored;
  }
  ADD_FAILURE() << member << " is not in " << path;
}

}  // namespace vh::test
