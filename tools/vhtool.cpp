// vhtool: the translators' toolkit.
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int usage(std::FILE* to) {
  std::fputs(
      "usage: vhtool COMMAND [ARGS]\n"
      "\n"
      "commands:\n"
      "  --help            show this list\n",
      to);
  return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(stderr);
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") return usage(stdout);
  std::fprintf(stderr, "vhtool: unknown command '%s'\n", command.c_str());
  return usage(stderr);
}
