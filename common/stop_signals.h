// The signals a user stops a run with on Linux: Ctrl-C, a closed terminal
// and the polite request to end. Held back while a new file stands beside
// the file it replaces (LocalFileSystem::create, common/local_file_system.h)
// and taken between files by an installation (its signal guard).
#pragma once

#include <signal.h>

namespace vh {

inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace vh
