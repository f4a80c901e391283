// What a toolkit command reads, writes, asks and reports through: messages
// on standard error, lines on the standard streams, the local file system,
// and a registry of its own in memory (no command reads a user's). A command
// builds one at its start and hands it down.
#pragma once

#include <memory>

#include "common/local_file_system.h"
#include "common/report.h"
#include "install/installer_host.h"
#include "install/services.h"
#include "support/registry_platform.h"

namespace vh::tool {

struct ToolServices {
  StandardErrorReporter report;
  StandardStreamsHost host;
  LocalFileSystem files;
  std::unique_ptr<WineRegistry> registry = WineRegistry::inMemory();

  Services services() { return {report, host, files, *registry, ""}; }
};

}  // namespace vh::tool
