// A PO file as vhtool import, export --from and stats --po read it: the
// bytes are a file that gettext's library reads into messages, each
// message's msgctxt becomes a record and kind and its msgstr GBK. Every
// scene a message names is a file name inside trans/, and the TRZ file
// import would write reads back, through the installer's reader, as the
// entries it was written from.
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "common/files.h"
#include "common/stream.h"
#include "fuzz/fuzz_targets.h"
#include "tools/po_import.h"
#include "translation/trz.h"

namespace vh::fuzz {

namespace {

// The lowest file descriptor free: a read that leaves a file open moves it.
int freeDescriptor() {
  const int fd = ::open("/dev/null", O_RDONLY);
  if (fd >= 0) ::close(fd);
  return fd;
}

}  // namespace

int poMessages(const uint8_t* data, size_t size) {
  const std::string path = writeScratch("messages.po", data, size);
  const int freeBefore = freeDescriptor();
  tool::PoImporter importer("", [](const std::string&) {});
  importer.read(path);
  if (freeDescriptor() != freeBefore) fail("reading a PO file leaves a file open");
  for (const auto& [scene, entries] : importer.scenes()) {
    const std::string file = scene + ".trz";
    if (pathInFolder(file) != file || file.find('/') != std::string::npos) {
      fail("a message names a scene whose file would not be in trans/");
    }
    const std::string trz = tool::trzText(entries);
    MemoryStream in(static_cast<const void*>(trz.data()), trz.size());
    tTrz table;
    if (table.read(in)) fail("the TRZ text import writes cannot be read");
    if (table.records.size() != entries.size()) fail("the TRZ text import writes holds another number of entries");
    for (const tTransRecord& record : table.records) {
      const auto entry = entries.find({record.subId, record.recId, record.typeId});
      if (entry == entries.end()) fail("the TRZ text import writes names a text no message translates");
      if (record.value != entry->second.gbk) fail("the TRZ text import writes reads back as another text");
    }
  }
  return 0;
}

}  // namespace vh::fuzz

VH_FUZZ_ENTRY(vh::fuzz::poMessages)

#ifdef VH_LIBFUZZER
// gettext's library drops memory of its own: the name of each file it
// reads, and the strings and lists its grammar throws away when it
// recovers from a syntax error. It is built without frame pointers, so
// only the slow unwinder sees who called its allocator; with it, those are
// told apart from the file object, its message list and the texts the
// library hands to us, whose leaks stay faults.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgettextpo_lex_start\nleak:libgettextpo_po_gram_parse\n";
}
#endif
