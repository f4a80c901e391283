// Zip packages of given members, written through the program's own writer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/zip.h"

namespace vh::test {

inline std::string writePackage(const std::string& path,
                                const std::vector<std::pair<std::string, std::string>>& members) {
  ZipWriter writer;
  EXPECT_EQ(writer.OpenZip(path, 0), 1);
  for (const auto& [name, bytes] : members) {
    BufferStream stream(ByteBuffer::fromString(bytes));
    writer.AddStream(&stream, name, "");
  }
  writer.CloseZip("");
  return path;
}

}  // namespace vh::test
