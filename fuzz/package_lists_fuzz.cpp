// The package's lists through the package reader, in a package built around
// them: the bytes, cut at each line "====", become the scene list, the
// add-on list, the extra list, the image list and then add-on records
// "addon/0", "addon/1" and so on. A translation table, an extra file and an
// image stand beside them for the lists to name.
#include <string>
#include <utility>
#include <vector>

#include "common/report.h"
#include "fixtures/fixture_bytes.h"
#include "fuzz/fuzz_targets.h"
#include "package/patch.h"

namespace vh::fuzz {

namespace {

std::vector<std::string> parts(const std::string& bytes) {
  static const std::string kCut = "\n====\n";
  std::vector<std::string> out;
  size_t from = 0;
  for (size_t at; (at = bytes.find(kCut, from)) != std::string::npos; from = at + kCut.size()) {
    out.push_back(bytes.substr(from, at - from));
  }
  out.push_back(bytes.substr(from));
  return out;
}

}  // namespace

int packageLists(const uint8_t* data, size_t size) {
  const std::vector<std::string> lists = parts(std::string(reinterpret_cast<const char*>(data), size));
  static const char* const kListNames[] = {"patchscene.lst", "addon.lst", "extra.lst", "images/images.lst"};
  std::vector<std::pair<std::string, std::string>> members = {
      {"trans/Forest.trz", "id=Forest010000\ntype=speech\nvalue=x\n>>\n"},
      {"extra/readme.txt", "extra"},
      {"images/pic.xmg", std::string("\x03\0\0\0\0\xFF\xFF\0\x02\0\0\0\x02\0\0\0\x06\0\0\0\0\0\0\0\0\0\0\0\x41", 29)},
  };
  for (size_t i = 0; i < lists.size(); ++i) {
    members.emplace_back(i < 4 ? kListNames[i] : "addon/" + std::to_string(i - 4), lists[i]);
  }
  const std::string package = fixture::package(members);
  const std::string path = writeScratch("lists.dat", package.data(), package.size());
  tPatch patch(quietReporter());
  if (patch.open(path)) patch.readImages();
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::packageLists)
