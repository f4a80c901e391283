// The commands of vhtool. Each takes the arguments after its own name and
// returns the exit status; errors are reported on standard error.
#pragma once

#include <string>
#include <vector>

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
int preview(const Args& args);
int xarc(const Args& args);

}  // namespace vh::tool
