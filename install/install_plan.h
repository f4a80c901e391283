// An installation decided before it is carried out. Which scenes it leaves
// as the last installation left them is settled once, at its start; what it
// does with each game file is settled from what it found of that file (its
// stamp, its bytes or their digest, what the backup knows of it) as one of a
// few steps, before anything of that file is written. The patcher then
// carries the step out in one place (tPatcher::carryOut).
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

namespace vh {

class GameBackup;
class tPatch;
class tPatchScene;
class tSubScene;

// What the file as it stands is to the backup (GameBackup::toOriginal).
enum class FileOrigin {
  // An original, or a file the backup knows nothing of: taken as it stands.
  Original,
  // A version an earlier installation wrote, which the backup takes back to
  // its original.
  InstalledVersion,
  // An installed version something wrote into since, rebuilt from the
  // backup; or a game file an update replaced, taken as the new original.
  ChangedSince,
};

// What the installation found of one game file before writing it.
struct FileFacts {
  FileOrigin origin = FileOrigin::Original;
  // It already holds exactly the bytes this installation would put there:
  // its size as its stamp gives it, then its bytes (an original) or their
  // digest (an installed version) are those of the new installed bytes.
  bool holdsInstalled = false;
  // The backup holds some version of it from an earlier installation.
  bool backupKnows = false;
  // An archive whose member table can be written back (tXARC::savable);
  // any other file can always be written.
  bool writable = true;
};

enum class FileStep {
  // The original backed up, then the installed bytes written over the file.
  Write,
  // It is already the installed version the backup holds: that backup is
  // kept as it is, and nothing is written.
  KeepInstalled,
  // An original that already holds what the package puts there: nothing is
  // written, and there is nothing to back up.
  LeaveOriginal,
  // The same, but the backup holds an earlier installation's version of it:
  // a new backup says that the original stays, and nothing else is written.
  RecordOriginal,
  // An archive whose table cannot be written back: left as it is,
  // untranslated.
  LeaveUntranslated,
};

FileStep decideFile(const FileFacts& facts);
// The step's name, for tests and debug lines.
const char* stepName(FileStep step);

// Whether a scene is left as the last installation left it: only when the
// program's own digest is known, the scene's inputs are those the manifest
// recorded for it, and every one of its files still has the stamp the
// manifest recorded. The same holds for one archive of a scene that is
// installed again: its own inputs, its own stamp.
enum class SceneStep { Install, Skip };
struct SceneFacts {
  bool programKnown = false;
  bool inputsAsRecorded = false;
  bool filesAsRecorded = false;
};
SceneStep decideScene(const SceneFacts& facts);

// The scenes of a package as an installation over `backup` will treat them.
struct InstallPlan {
  // Each scene's inputs digest, recorded in the manifest once the scene is
  // installed; none without the program's own digest.
  std::map<std::string, std::string> inputs;
  std::set<std::string> skipping;         // scene names
  // The archives of the other scenes, with their inputs digests (none
  // without the program's own digest); of those, the ones left as the last
  // installation left them: a changed entry writes its own archive, not
  // every archive of its scene.
  std::map<const tSubScene*, std::string> archiveInputs;
  std::set<const tSubScene*> skippingArchives;
  // The archives of both kinds of skip, as the scene list names them.
  std::set<std::string> skippedArchives;
  // Archives that more than one sub-scene names: each writes it in turn and
  // the last one's bytes stay, so no inputs recorded for one of them would
  // say what the file holds. Neither they nor their scenes are skipped, and
  // no inputs are recorded for either.
  std::set<std::string> shared;
};
// `program` is the running program's digest; without it nothing is skipped.
InstallPlan planInstallation(const tPatch& patch, const GameBackup& backup, const std::optional<std::string>& program);

// Everything the installed archives of a scene follow from besides their
// originals: the program that installs them, the scene's name (the
// heroine's name goes into "Global"), its sub-scenes with their archive
// paths (a sub-scene's name picks its entries), its table with the add-on
// entries as they were read, and its pictures.
std::string sceneInputs(const tPatchScene& scene, const std::string& program);
// The same for one archive: what its installed bytes follow from besides
// its original. Its scene's name, its sub-scene's name and path, the
// entries of the scene's table that name its sub-scene (no other entry
// reaches it), its pictures, and the fingerprint the package expects of it,
// so that an archive of a game the package was not made for is looked at
// again.
std::string archiveInputs(const tPatch& patch, const tPatchScene& scene, const tSubScene& sub,
                          const std::string& program);

}  // namespace vh
