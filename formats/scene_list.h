// Scene index files, archive locations and the scene list.
//
// Every scene has an index file "data/" + scene + ".orz" in the working
// tree. Of its key/value lines only three keys matter:
//
//   -sub-       from here on, "id" lines name sub-scenes
//   id=03       after "-sub-": one sub-scene id, used exactly as written
//   -records-   nothing after this line is read
//
// The scene list that the package carries names every archive of every
// scene, each line ended by CR LF:
//
//   scene=Forest
//   sub=99                        the scene's own archive is sub-scene 99
//   path=Forest/Forest.xarc
//   sub=03
//   path=Forest/03/03.xarc
//   >>
//
// Scenes whose names have more than 6 characters live under "static/".
#pragma once

#include <string>
#include <vector>

#include "common/fault.h"
#include "common/key_value.h"
#include "common/stream.h"

namespace vh {

class Reporter;

// The working tree's folder of scene index files.
inline constexpr const char* kSceneIndexFolder = "data/";
// The sub-scene number under which the scene's own archive is listed.
inline constexpr const char* kOwnArchiveSub = "99";

// "static/" for a scene name longer than 6 characters, "" otherwise.
std::string sceneFolderPrefix(const std::string& scene);
// prefix + scene + "/" + scene + ".xarc", relative to the game folder.
std::string sceneArchivePath(const std::string& scene);
// prefix + scene + "/" + id + "/" + id + ".xarc", relative to the game folder.
std::string subSceneArchivePath(const std::string& scene, const std::string& id);

// One archive a scene index names: its sub-scene and its path relative to
// the game folder.
struct SceneArchive {
  std::string sub;
  std::string path;
  bool operator==(const SceneArchive&) const = default;
};

// The archives of `scene` that the index file at `indexPath` names, the
// scene's own first; shows nothing. CannotOpen when the file cannot be
// opened; Damaged when a sub-scene id leads an archive path out of the game
// folder, with that path as the fault's detail.
Result<std::vector<SceneArchive>> readSceneIndex(const std::string& scene, const std::string& indexPath);

// Appends one scene's lines, read from dataFolder + scene + ".orz", to `out`.
// Returns 1; when the index file cannot be opened nothing is written (not
// even an empty scene block), a debug log line says why, and it returns 0.
// An index whose archive path would leave the game folder (a sub-scene id
// with "..") writes nothing either: its message box names the path, and it
// returns 0.
// Its lines and message go to `report`.
int writeSceneEntry(Stream& out, const std::string& scene, Reporter& report,
                    const std::string& dataFolder = kSceneIndexFolder);
// Appends the entries of every "<name>.orz" in dataFolder (the extension in
// any letter case, each file opened by the name it is listed under), in the
// order the file system lists them; names with another extension or more
// than one dot are skipped. A missing or empty folder gives nothing.
// Returns 1, or 0 at the first index whose archive path would leave the game
// folder, after its message box; the list is then incomplete.
int writeSceneList(Stream& out, Reporter& report, const std::string& dataFolder = kSceneIndexFolder);

}  // namespace vh
