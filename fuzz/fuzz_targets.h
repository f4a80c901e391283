// The fuzz targets: one function per input the program reads, each feeding
// arbitrary bytes to the entry point the program itself uses. libFuzzer
// calls them through LLVMFuzzerTestOneInput (one executable per target);
// the ordinary test build calls the same functions on the committed
// corpora, so a fault once found stays found in every build.
//
// A target returns 0. Damage the readers report is the expected outcome;
// a crash, a sanitizer report, an escaping exception or a broken round trip
// (which the targets turn into a trap) is a fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vh {
class FileSystem;
class Reporter;
}

namespace vh::fuzz {

using Target = int (*)(const uint8_t* data, size_t size);

int xarcRoundTrip(const uint8_t* data, size_t size);
int trzFile(const uint8_t* data, size_t size);
int sceneIndex(const uint8_t* data, size_t size);
int packageLists(const uint8_t* data, size_t size);
int patchFile(const uint8_t* data, size_t size);
int zipWalk(const uint8_t* data, size_t size);
int wineRegistry(const uint8_t* data, size_t size);
int libraryFolderList(const uint8_t* data, size_t size);
int bmpPicture(const uint8_t* data, size_t size);
int jpegPicture(const uint8_t* data, size_t size);
int pngPicture(const uint8_t* data, size_t size);
int xmgDecode(const uint8_t* data, size_t size);
int xmgEncode(const uint8_t* data, size_t size);
int backupRecords(const uint8_t* data, size_t size);
int poMessages(const uint8_t* data, size_t size);
int glossaryFile(const uint8_t* data, size_t size);

struct NamedTarget {
  const char* corpus;  // fuzz/corpus/<corpus>, and the executable <corpus>_fuzz
  Target run;
};

// Every target, for the replay test.
const std::vector<NamedTarget>& allTargets();

// A folder of this process's own under /tmp, made on first use and removed
// when the process ends. Targets whose reader needs a path write their bytes
// here and nowhere else.
const std::string& scratchFolder();
// Writes the bytes to scratchFolder() + "/" + name and returns that path.
std::string writeScratch(const std::string& name, const void* data, size_t size);

// A reporter that drops every message: a damaged input is expected to be
// reported, and thousands of reports a second would only drown the fuzzer's.
Reporter& quietReporter();
// The local disk, for the targets that read and write real files.
FileSystem& localFileSystem();

// Stops the run the way a sanitizer would, naming what broke.
[[noreturn]] void fail(const char* what);

}  // namespace vh::fuzz

// The libFuzzer entry, compiled only into the fuzz executables.
#ifdef VH_LIBFUZZER
#define VH_FUZZ_ENTRY(function)                                                   \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {     \
    return function(data, size);                                                \
  }
#else
#define VH_FUZZ_ENTRY(function)
#endif
