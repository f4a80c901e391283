// vhtool: the translators' toolkit.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/commands.h"
#include "vh_version.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  // What `vhtool NAME --help` adds to the usage: the options, what the
  // command leaves out, and its exit statuses, so that the help stands alone.
  const char* help;
  int (*run)(const vh::tool::Args&);
};

constexpr const char* kStatuses =
    "\nexit status: 0 done, 1 failed (the reason on standard error), 2 the command line is not understood\n";

const Command kCommands[] = {
    {"sample-game",
     "OUT [--scenes N] [--subs N] [--records N] [--size small|large] [--seed S] [--shapes] [--second-version]\n"
     "      write a made-up game (OUT/game) and its working tree (OUT/worktree)",
     "\n  --scenes N, --subs N, --records N   scenes (with Global), sub-scenes of each, records of an archive\n"
     "  --size large        sized like the real game: 300 scenes of 4 sub-scenes, opaque members of real sizes\n"
     "  --seed S            another game; the same options and seed give the same bytes\n"
     "  --shapes            every shape of text: type 13 records with their text at byte 102, titles beside\n"
     "                      embedded texts, speeches of two lines, overlapping layouts, a member named in Chinese\n"
     "  --second-version    also OUT/game2, the next version: one record inserted, one word edited\n",
     vh::tool::sampleGame},
    {"dump", "ARCHIVE.xarc | --diff BEFORE.xarc AFTER.xarc\n"
             "      list an archive's members and records, or the records that differ",
     "\nA record's line: its address (scene, sub-scene, record), type bytes and kind, the kind words that fit\n"
     "it, its title and every embedded text under the kind word whose layout holds it.\n",
     vh::tool::dump},
    {"extract", "ARCHIVE.xarc MEMBER [OUT]\n"
                "      write one member of an archive to a file (OUT, or the member's name)",
     "\nMember names are GBK in the archives: type them in UTF-8 (vhtool converts them), as `xarc list` shows\n"
     "them. Without OUT the file is named after the member, in UTF-8.\n",
     vh::tool::extract},
    {"xmg2png", "IN.xmg OUT.png|OUT.ppm\n"
                "      decode a game image; mask-colour pixels become transparent in a PNG",
     "", vh::tool::xmgToPicture},
    {"png2xmg", "IN.png|IN.ppm OUT.xmg\n"
                "      encode a picture as a game image; transparent PNG pixels become the mask colour",
     "", vh::tool::pictureToXmg},
    {"export",
     "GAME OUT [--scene NAME]... [--po [--from OLD_PO_DIR | --from OLDTREE --old-game OLDGAME] | --pot] [--force]\n"
     "      write the game's texts as a working tree: index files and TRZ files, or PO files",
     "\nOne entry (one message) per text: a record's title and each embedded text, so a record may have two,\n"
     "with the same address and two kind words. Texts that cannot stand in a TRZ file (a carriage return, a\n"
     "0 byte, \"<CR>\", not GBK) and records whose bytes read as text where no kind word fits are left out\n"
     "with a warning; the last line counts what was exported and what was left out, and why.\n"
     "  --scene NAME        only these scenes (the fingerprint list keeps the other scenes' lines)\n"
     "  --po                po/<scene>.pot and po/<scene>.po (UTF-8, msgctxt \"ADDRESS|kind\") instead of TRZ files\n"
     "  --pot               the templates po/<scene>.pot only, for teams that run msgmerge themselves\n"
     "  --from OLD_PO_DIR   with --po: the translations of an earlier version's PO files (any layout: po/<scene>.po,\n"
     "                      <scene>/zh_CN.po, <scene>.zh_CN.po); each goes only onto the text it was made from:\n"
     "                      moved with its text to another address, or fuzzy (with the old text as #| msgid)\n"
     "                      where the text changed\n"
     "  --from OLDTREE --old-game OLDGAME   the same from a TRZ working tree and the game it was translated from\n"
     "                      (OLDGAME is GAME itself when the tree is for this version)\n"
     "  --force             overwrite the files of the scenes exported; without it nothing is written when one exists\n",
     vh::tool::exportGame},
    {"import", "PO... --to WORKTREE [--game GAME]\n"
               "      write the translations of PO files into the working tree's TRZ files",
     "\nEach message names its scene and kind in its msgctxt (\"Inn990005|speech\"; an earlier export's address\n"
     "with the kind word in the #. comment still reads), so any file layout imports. Skipped: fuzzy and\n"
     "untranslated messages, as msgfmt skips them, and obsolete ones. The old trans/<scene>.trz stays as\n"
     "trans/<scene>.trz~, which the builder never packs.\n"
     "Refused, each with FILE:LINE of its msgstr: a character GBK lacks, a carriage return, a translation too long\n"
     "for its 16-bit length field (65535 bytes in GBK), a line break where the source text has none, two\n"
     "translations of one text, a msgctxt that names no record and kind.\n"
     "  --game GAME         also refuse a translation whose msgid is not the game's text at its address (a PO\n"
     "                      file of another version of the game)\n"
     "Nothing is written when anything is refused (\"nothing written: N problems\").\n",
     vh::tool::importPo},
    {"check", "GAME WORKTREE [--glossary FILE] [--strict]\n"
              "      report every entry of a working tree that would install nothing or harm the game",
     "\nEach finding as FILE:LINE: message; a note is merely unusual, a problem a real fault.\n"
     "Problems: misspelt keys, unknown kind words, a kind word whose layout the record does not hold or whose\n"
     "bytes are not text, addresses of another scene or outside the game, a sub-scene missing from the index\n"
     "file, values that are not GBK or too long, byte-order marks, text after the last \">>\", two entries for\n"
     "one text, a picture in images/ whose member the archive lacks.\n"
     "Notes: a title kind word other than the one export writes, blanks at the start or end or line breaks\n"
     "other than the source's, Latin letters left where the source is several words, one source text\n"
     "translated in two ways, the heroine's name in Global, an add-on over an entry.\n"
     "Pictures: images/<scene>/<sub-scene>/<member>.png or .xmg, the member named in UTF-8 as `xarc list`\n"
     "shows it; sub-scene 99 is the scene's own archive.\n"
     "  --glossary FILE     UTF-8 CSV with the header source,target: a source term (as a whole word, any letter\n"
     "                      case) whose target is missing from the translation is a note\n"
     "  --strict            a missed glossary term is a problem\n"
     "Skipped: TRZ files whose name does not end in .trz (such as .trz~), entries that are still the game's text.\n"
     "\nexit status: 0 no problem (notes may remain), 1 problems found or the game cannot be read, 2 the command\n"
     "line is not understood\n",
     vh::tool::check},
    {"stats", "GAME WORKTREE [--po DIR] [--json]\n"
              "      count, per scene and in all, the game's texts and how many are translated",
     "\nThe texts are the game's own, so a text that no file mentions counts as untranslated. A TRZ entry\n"
     "counts when it differs from the game's text; a PO message only when its msgid is the game's text now.\n"
     "Characters are the source's code points.\n"
     "  --po DIR            also the PO files under DIR: finished messages count as translated, fuzzy ones as fuzzy\n"
     "  --json              {\"scenes\": [{\"name\", \"texts\", \"translated\", \"fuzzy\", \"untranslated\", \"chars\",\n"
     "                      \"chars_translated\"}], \"total\": {...}}\n",
     vh::tool::stats},
    {"preview", "GAME WORKTREE [SCENE]\n"
                "      show the records a working tree's translation would change, before and after",
     "\nThe working tree is built into a package in a temporary folder and applied in memory: nothing of the\n"
     "game is written.\n",
     vh::tool::preview},
    {"xarc", "list ARCHIVE | extract ARCHIVE [MEMBER...] [-o DIR] | replace ARCHIVE MEMBER FILE\n"
             "      list an archive's members, write them to files, or replace one from a file",
     "\nMember names are GBK in the archive and UTF-8 on the command line and on disk; vhtool converts them.\n"
     "A replaced archive is written beside itself and renamed over the old one when complete.\n",
     vh::tool::xarc},
    {"fingerprint", "GAME WORKTREE\n"
                    "      write the game-version check's data/fingerprint.lst for the archives the tree translates",
     "", vh::tool::fingerprint},
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
    std::printf("vhtool %s\n", vh::kVersion);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    const vh::tool::Args args(argv + 2, argv + argc);
    // Asked of every command here, so that none takes "--help" for a file
    // name or an argument too many.
    for (const std::string& arg : args) {
      if (arg == "--help" || arg == "-h") {
        std::printf("usage: vhtool %s %s\n%s", c.name, c.usage, c.help);
        // A command that says more of its statuses says them itself.
        if (std::strstr(c.help, "exit status") == nullptr) std::fputs(kStatuses, stdout);
        return 0;
      }
    }
    return c.run(args);
  }
  std::fprintf(stderr, "vhtool: unknown command '%s'\n", name.c_str());
  return usage(stderr);
}
