// The texts of an installed game, found the way the installer will reach
// them: scenes and sub-scenes from the game folder's own layout, archives
// opened as the installer opens them, texts by the kind table.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace vh {
class tXARC;
}  // namespace vh

namespace vh::tool {

struct GameSubScene {
  std::string id;    // the folder name, as an index file lists it
  int number = 0;    // the sub-scene number the installer gives the archive
  std::string path;  // relative to the game folder
};

struct GameScene {
  std::string name;
  std::vector<GameSubScene> subs;  // the scene's own archive (99) first, then by number
};

// One text a translation entry can address.
struct GameText {
  std::string address;
  int32_t typeId = 0;
  std::string word;
  std::string text;     // GBK bytes as the game stores them
  std::string archive;  // relative to the game folder
};

using Warn = std::function<void(const std::string&)>;

// Opens an archive as the installer does, numbered as sub-scene `subId`;
// false with the reason in `error` when it cannot be read.
bool openGameArchive(const std::string& path, int subId, tXARC& archive, std::string& error);

// The scenes of the game folder in name order: "S/S.xarc" for names of up
// to 6 characters, "static/S/S.xarc" for longer ones, each with the
// sub-scenes "I/I.xarc" beside it whose number an address can hold. What
// cannot be addressed or listed is left out with a warning.
std::vector<GameScene> findScenes(const std::string& game, const Warn& warn);

// What was left out of the texts and why, with how many of each.
using LeftOut = std::map<std::string, int>;

// Every text of the scene's archives in address order, a record's title
// before its embedded texts. An archive that cannot be read is a warning,
// and so is a record beyond what the address form can number, a record
// whose bytes read as text where no kind word fits, and one of two
// overlapping readings; each is counted in `leftOut` when given.
std::vector<GameText> sceneTexts(const std::string& game, const GameScene& scene, const Warn& warn,
                                 LeftOut* leftOut = nullptr);

// "3 records left out: 2 in archives that cannot be read, 1 ..." or "no
// record left out".
std::string describeLeftOut(const LeftOut& leftOut);

// A working tree's translations of a scene by sub-scene, record and kind,
// as its TRZ file holds them (the last entry for one decides, as when
// installed); none when the scene has no file. False when the file exists
// but cannot be read; `file` names it either way.
using TreeTranslations = std::map<std::tuple<int, int, int32_t>, std::string>;
bool readTreeTranslations(const std::string& worktree, const std::string& scene, TreeTranslations& found,
                          std::string& file);

// The name of the scene's file in a working tree's "trans/" folder: an
// existing one whose extension is "trz" in any letter case (the builder
// packs them all, so a second file for the scene must not appear), or
// scene + ".trz".
std::string translationFileName(const std::string& transFolder, const std::string& scene);

}  // namespace vh::tool
