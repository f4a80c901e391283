// vhtool: the translators' toolkit.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/commands.h"
#include "vh_commit.h"
#include "vh_version.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const vh::tool::Args&);
};

const Command kCommands[] = {
    {"sample-game", "OUT [--scenes N] [--subs N] [--records N] [--size small|large] [--seed S]\n"
                    "      write a made-up game (OUT/game) and its working tree (OUT/worktree)",
     vh::tool::sampleGame},
    {"dump", "ARCHIVE.xarc | --diff BEFORE.xarc AFTER.xarc\n"
             "      list an archive's members and records, or the records that differ",
     vh::tool::dump},
    {"extract", "ARCHIVE.xarc MEMBER [OUT]\n"
                "      write one member of an archive to a file (OUT, or the member's name)",
     vh::tool::extract},
    {"xmg2png", "IN.xmg OUT.png|OUT.ppm\n"
                "      decode a game image; mask-colour pixels become transparent in a PNG",
     vh::tool::xmgToPicture},
    {"png2xmg", "IN.png|IN.ppm OUT.xmg\n"
                "      encode a picture as a game image; transparent PNG pixels become the mask colour",
     vh::tool::pictureToXmg},
    {"export", "GAME OUT [--scene NAME]... [--po [--from WORKTREE]] [--force]\n"
               "      write the game's texts as a working tree: index files and TRZ files, or PO files",
     vh::tool::exportGame},
    {"import", "PO... --to WORKTREE\n"
               "      write the translations of PO files into the working tree's TRZ files",
     vh::tool::importPo},
    {"check", "GAME WORKTREE\n"
              "      report every entry of a working tree that would install nothing or harm the game",
     vh::tool::check},
    {"preview", "GAME WORKTREE [SCENE]\n"
                "      show the records a working tree's translation would change, before and after",
     vh::tool::preview},
    {"xarc", "list ARCHIVE | extract ARCHIVE [MEMBER...] [-o DIR] | replace ARCHIVE MEMBER FILE\n"
             "      list an archive's members, write them to files, or replace one from a file",
     vh::tool::xarc},
    {"fingerprint", "GAME WORKTREE\n"
                    "      write the game-version check's data/fingerprint.lst for the archives the tree translates",
     vh::tool::fingerprint},
};

int usage(std::FILE* to) {
  std::fputs("usage: vhtool COMMAND [ARGS]\n\ncommands:\n", to);
  for (const Command& c : kCommands) std::fprintf(to, "  %s %s\n", c.name, c.usage);
  std::fputs("  --help\n      show this list\n  --version\n      show the toolkit's version\n", to);
  return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(stderr);
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") return usage(stdout);
  if (name == "--version") {
    std::printf("vhtool %s (%s)\n", vh::kVersion, vh::kCommit);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    const vh::tool::Args args(argv + 2, argv + argc);
    // Asked of every command here, so that none takes "--help" for a file
    // name or an argument too many.
    for (const std::string& arg : args) {
      if (arg == "--help" || arg == "-h") {
        std::printf("usage: vhtool %s %s\n", c.name, c.usage);
        return 0;
      }
    }
    return c.run(args);
  }
  std::fprintf(stderr, "vhtool: unknown command '%s'\n", name.c_str());
  return usage(stderr);
}
