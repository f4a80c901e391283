// The commands of vhtool. Each takes the arguments after its own name and
// returns the exit status; errors are reported on standard error.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vh {
class FileSystem;
}

namespace vh::tool {

using Args = std::vector<std::string>;

int sampleGame(const Args& args);
int dump(const Args& args);
int extract(const Args& args);
int xmgToPicture(const Args& args);  // xmg2png
int pictureToXmg(const Args& args);  // png2xmg
int exportGame(const Args& args);    // export
int importPo(const Args& args);      // import
int check(const Args& args);
int stats(const Args& args);
int preview(const Args& args);
int xarc(const Args& args);
int fingerprint(const Args& args);

// Writes WORKTREE/data/fingerprint.lst with the fingerprints of `archives`
// (paths relative to the game folder, each with its sub-scene number),
// keeping the lines of other archives. False after a complaint when an
// archive cannot be read or the list cannot be written.
bool writeFingerprints(FileSystem& files, const std::string& game, const std::string& worktree,
                       const std::vector<std::pair<std::string, int>>& archives,
                       const std::function<void(const std::string&)>& complain);

}  // namespace vh::tool
