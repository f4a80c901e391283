// A command's arguments: the positional ones, and options that stand alone
// ("--json") or take the argument after them ("--po DIR").
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tools/commands.h"

namespace vh::tool {

struct CommandLine {
  std::vector<std::string> positional;
  std::set<std::string> flags;                // the flags given
  std::map<std::string, std::string> values;  // the valued options given

  bool has(const std::string& flag) const { return flags.count(flag) > 0; }
  // "" when the option was not given.
  std::string value(const std::string& option) const {
    const auto found = values.find(option);
    return found == values.end() ? "" : found->second;
  }
};

// Nothing when an argument starting with "--" is none of the command's
// options, or a valued option lacks its value or comes twice.
std::optional<CommandLine> parseCommandLine(const Args& args, const std::set<std::string>& flags,
                                            const std::set<std::string>& valued);

}  // namespace vh::tool
