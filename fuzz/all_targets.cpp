// The table of targets, for the replay test; each fuzz executable holds only
// its own target.
#include "fuzz/fuzz_targets.h"

namespace vh::fuzz {

const std::vector<NamedTarget>& allTargets() {
  static const std::vector<NamedTarget> targets = {
      {"xarc", xarcRoundTrip},     {"trz", trzFile},           {"scene_index", sceneIndex},
      {"package_lists", packageLists}, {"patch_dat", patchFile}, {"zip_walk", zipWalk},
      {"wine_registry", wineRegistry}, {"bmp", bmpPicture},   {"jpeg", jpegPicture},
      {"xmg_decode", xmgDecode},   {"xmg_encode", xmgEncode},   {"library_folders", libraryFolderList},
      {"png", pngPicture},         {"backup", backupRecords},
  };
  return targets;
}

}  // namespace vh::fuzz
