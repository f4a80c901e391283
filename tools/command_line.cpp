#include "tools/command_line.h"

namespace vh::tool {

std::optional<CommandLine> parseCommandLine(const Args& args, const std::set<std::string>& flags,
                                            const std::set<std::string>& valued) {
  CommandLine line;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (flags.count(arg)) {
      line.flags.insert(arg);
    } else if (valued.count(arg)) {
      if (i + 1 == args.size() || !line.values.emplace(arg, args[i + 1]).second) return std::nullopt;
      ++i;
    } else if (arg.starts_with("--")) {
      return std::nullopt;
    } else {
      line.positional.push_back(arg);
    }
  }
  return line;
}

}  // namespace vh::tool
