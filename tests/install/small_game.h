// A game of one scene with two small archives and one extra file, and a
// package that changes all three, for installing in this process through
// the library.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "install/patcher.h"
#include "tests/formats/archive_fixture.h"
#include "tests/support/package_fixture.h"
#include "tests/test_support.h"

namespace vh::test {

class SmallGame {
 public:
  // `padding` bytes of noise lengthen the old readme and join each archive
  // as a member the package leaves alone, for tests of large files.
  explicit SmallGame(size_t padding = 0) {
    makeFolders(dir / "game/A/1");
    writeFile(dir / "game/x.xarc", makeArchive({}));
    const std::string noise = noiseOf(padding);
    for (const std::string& file : files) {
      std::vector<Member> members = {{"a.xrc", records("old " + file)}, {"a.wav", "RIFF"}};
      if (padding > 0) members.push_back({"b.wav", noise});
      original[file] = file == "readme.txt" ? "the old readme" + noise : makeArchive(members);
    }
    writePackage(dir / "patch.dat",
                 {{"patchscene.lst", "scene=A\r\nsub=99\r\npath=A/A.xarc\r\nsub=1\r\npath=A/1/1.xarc\r\n>>\r\n"},
                  {"trans/A.trz", "id=A990001\ntype=speech\nvalue=new\n>>\nid=A010002\ntype=speech\nvalue=one\n>>\n"},
                  {"extra.lst", "readme.txt\r\n"},
                  {"extra/readme.txt", "the new readme"}});
    reset();
  }

  // Puts the game files back as they were.
  void reset() const {
    for (const auto& [file, bytes] : original) writeFile(dir / ("game/" + file), bytes);
  }
  // Installs the package with `patcher`: 1, 0 after its message, -1 when
  // the package does not load.
  int install(tPatcher& patcher) const {
    patcher.gameRoot = dir / "game/";
    patcher.gameValid = 1;
    if (!patcher.loadPatch(dir / "patch.dat")) return -1;
    return patcher.doReplace();
  }
  // Every file of the game but x.xarc, with its bytes.
  std::map<std::string, std::string> now() const {
    std::map<std::string, std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "game")) {
      const std::string name = std::filesystem::relative(entry.path(), dir / "game").string();
      // The backup is the installer's own folder, not a game file.
      if (name.rfind(".vhpatch-backup", 0) == 0) continue;
      if (entry.is_regular_file() && name != "x.xarc") found[name] = readFile(entry.path());
    }
    return found;
  }

  TempDir dir;
  // The files the package changes, in the order they are written.
  const std::vector<std::string> files = {"readme.txt", "A/1/1.xarc", "A/A.xarc"};
  std::map<std::string, std::string> original;

 private:
  static std::string noiseOf(size_t size) {
    std::string noise(size, '\0');
    uint32_t state = 2463534242u;
    for (char& c : noise) {
      state ^= state << 13, state ^= state >> 17, state ^= state << 5;
      c = static_cast<char>(state);
    }
    return noise;
  }
  static std::string records(const std::string& text) {
    Rec root;
    root.type1 = 1;
    root.childCount = 2;
    Rec line;
    line.type1 = 29;
    line.subString = embedded("", text, "TL");
    return recordFile({root, line, line});
  }
};

}  // namespace vh::test
