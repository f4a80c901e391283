#include "tools/po_file.h"

#include <gettext-po.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <fstream>
#include <sstream>

#include "common/calendar.h"
#include "common/files.h"
#include "common/file_system.h"
#include "common/local_file_system.h"
#include "common/stream.h"

namespace vh::tool {

namespace {

// The whole game's texts make a PO file of a few MiB; the library holds
// several times a file's size while it reads.
constexpr int64_t kMaxPoFileBytes = int64_t{64} << 20;

// gettext's handler may not return from a fatal error; it jumps back to the
// call that let the library run, past C frames only.
thread_local std::jmp_buf* gAbort = nullptr;
thread_local std::vector<std::string>* gProblems = nullptr;
thread_local int gErrors = 0;  // problems beyond warnings

void note(const char* filename, size_t lineno, const char* text) {
  if (!gProblems) return;
  std::string line;
  if (filename) {
    line = filename;
    if (lineno != static_cast<size_t>(-1)) line += ":" + std::to_string(lineno);
    line += ": ";
  }
  line += text ? text : "";
  while (!line.empty() && line.back() == '\n') line.pop_back();
  gProblems->push_back(line);
}

void xerror(int severity, po_message_t, const char* filename, size_t lineno, size_t, int, const char* text) {
  note(filename, lineno, text);
  if (severity != PO_SEVERITY_WARNING) ++gErrors;
  if (severity == PO_SEVERITY_FATAL_ERROR) std::longjmp(*gAbort, 1);
}

void xerror2(int severity, po_message_t, const char* filename1, size_t lineno1, size_t, int, const char* text1, po_message_t,
             const char* filename2, size_t lineno2, size_t, int, const char* text2) {
  // One fault told at two places: one line, the second place in brackets.
  std::vector<std::string>* const problems = gProblems;
  std::vector<std::string> parts;
  gProblems = &parts;
  note(filename1, lineno1, text1);
  note(filename2, lineno2, text2);
  gProblems = problems;
  if (problems && parts.size() == 2) problems->push_back(parts[0] + " (" + parts[1] + ")");
  if (severity != PO_SEVERITY_WARNING) ++gErrors;
  if (severity == PO_SEVERITY_FATAL_ERROR) std::longjmp(*gAbort, 1);
}

const po_xerror_handler kHandler = {xerror, xerror2};

// po_file_free leaves every message's msgctxt behind, while the setter frees
// the one it replaces: clearing the contexts first gives all of it back.
void freePoFile(po_file_t file) {
  for (const char* const* domain = po_file_domains(file); *domain; ++domain) {
    po_message_iterator_t it = po_message_iterator(file, *domain);
    while (po_message_t message = po_next_message(it)) po_message_set_msgctxt(message, nullptr);
    po_message_iterator_free(it);
  }
  po_file_free(file);
}

// Runs one library call that may end in a fatal error; only trivially
// destructible objects live between here and the handler's jump. Null when
// the call failed or reported an error: gettext goes on after a syntax
// error, but what it read then is not the file the translator meant.
po_file_t guarded(po_file_t (*call)(po_file_t, const char*), po_file_t file, const char* path,
                  std::vector<std::string>& problems) {
  std::jmp_buf abort;
  std::jmp_buf* const previous = gAbort;
  std::vector<std::string>* const previousProblems = gProblems;
  const int previousErrors = gErrors;
  gAbort = &abort;
  gProblems = &problems;
  gErrors = 0;
  po_file_t volatile result = nullptr;
  if (setjmp(abort) == 0) result = call(file, path);
  const bool failed = gErrors > 0;
  gAbort = previous;
  gProblems = previousProblems;
  gErrors = previousErrors;
  if (failed && result && !file) {
    freePoFile(result);
    return nullptr;
  }
  return failed ? nullptr : result;
}

po_file_t readCall(po_file_t, const char* path) { return po_file_read(path, &kHandler); }
po_file_t writeCall(po_file_t file, const char* path) { return po_file_write(file, path, &kHandler); }

std::string text(const char* s) { return s ? s : ""; }

// po_file_domain_header and po_message_extracted_comments are declared to
// return const text but hand over a fresh copy on each call, which is ours
// to free; an absent comment alone comes back as the library's own static
// "", which is not.
std::string takeText(char* s) {
  std::string result = text(s);
  std::free(s);
  return result;
}

std::string takeComment(const char* s) { return *s ? takeText(const_cast<char*>(s)) : ""; }

class PoFile {
 public:
  explicit PoFile(po_file_t file) : file_(file) {}
  ~PoFile() {
    if (file_) freePoFile(file_);
  }
  PoFile(const PoFile&) = delete;
  PoFile& operator=(const PoFile&) = delete;
  po_file_t get() const { return file_; }

 private:
  po_file_t file_;
};

class Iterator {
 public:
  explicit Iterator(po_file_t file) : it_(po_message_iterator(file, nullptr)) {}
  ~Iterator() { po_message_iterator_free(it_); }
  Iterator(const Iterator&) = delete;
  Iterator& operator=(const Iterator&) = delete;
  po_message_iterator_t get() const { return it_; }

 private:
  po_message_iterator_t it_;
};

// "" when it cannot be read: the file was read once already, by the
// library, and a message place not found costs only its line number.
std::string readWhole(FileSystem& files, const std::string& path) {
  Result<std::string> bytes = readWholeFile(files, path);
  return bytes ? std::move(bytes.value()) : "";
}

}  // namespace

std::string poHeader(const std::string& project, bool isTemplate) {
  char now[32] = "";
  const std::time_t clock = std::time(nullptr);
  const std::tm utc = utcCalendar(clock).value_or(std::tm{});
  std::strftime(now, sizeof now, "%Y-%m-%d %H:%M+0000", &utc);
  // Every field msgfmt --check-header asks for, so that no tool warns.
  std::string header = "Project-Id-Version: " + project + "\n";
  header += "Report-Msgid-Bugs-To: \n";
  if (isTemplate) {
    header += "PO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\n";
    header += "Last-Translator: FULL NAME <EMAIL@ADDRESS>\n";
    header += "Language-Team: LANGUAGE <LL@li.org>\n";
    header += "Language: \n";
  } else {
    header += std::string("PO-Revision-Date: ") + now + "\n";
    header += "Last-Translator: \n";
    header += "Language-Team: Chinese (simplified)\n";
    header += "Language: zh_CN\n";
  }
  header += "MIME-Version: 1.0\n";
  header += "Content-Type: text/plain; charset=UTF-8\n";
  header += "Content-Transfer-Encoding: 8bit\n";
  header += "Plural-Forms: nplurals=1; plural=0;\n";
  return header;
}

bool writePoFile(FileSystem& files, const std::string& path, const PoCatalog& catalog,
                 std::vector<std::string>& problems) {
  PoFile file(po_file_create());
  {
    Iterator it(file.get());
    po_message_t header = po_message_create();
    po_message_set_msgid(header, "");
    po_message_set_msgstr(header, catalog.header.c_str());
    po_message_insert(it.get(), header);
    for (const PoMessage& m : catalog.messages) {
      po_message_t message = po_message_create();
      po_message_set_msgctxt(message, m.context.c_str());
      po_message_set_msgid(message, m.id.c_str());
      po_message_set_msgstr(message, m.str.c_str());
      if (!m.extracted.empty()) po_message_set_extracted_comments(message, m.extracted.c_str());
      if (!m.previous.empty()) po_message_set_prev_msgid(message, m.previous.c_str());
      po_message_set_fuzzy(message, m.fuzzy);
      po_message_set_obsolete(message, m.obsolete);
      po_message_insert(it.get(), message);
    }
  }
  // The library writes to a file name only: a scratch file beside the
  // target, whose bytes then replace the target in one rename.
  std::string scratch = path + ".vhpo-XXXXXX";
  const int fd = mkstemp(scratch.data());
  if (fd < 0) {
    problems.push_back(path + ": " + std::strerror(errno));
    return false;
  }
  ::close(fd);
  const bool written = guarded(writeCall, file.get(), scratch.c_str(), problems) != nullptr;
  const std::string bytes = written ? readWhole(files, scratch) : "";
  std::remove(scratch.c_str());
  if (!written) return false;
  auto target = files.create(path);
  if (!target) {
    problems.push_back(path + ": cannot be written");
    return false;
  }
  try {
    target->stream().writeString(bytes);
  } catch (const std::exception& e) {
    problems.push_back(path + ": " + e.what());
    return false;
  }
  if (!files.replace(*target, FolderSync::Now)) {
    problems.push_back(path + ": cannot be written");
    return false;
  }
  return true;
}

std::optional<PoCatalog> readPoFile(const std::string& path, std::vector<std::string>& problems) {
  // The library opens the file by its name itself; the second read, for
  // the places of the messages, goes the same way to the local disk.
  LocalFileSystem files;
  // A pipe or a device may never end, and the library reads to the end
  // before it hands over anything.
  if (fileKind(path) == FileKind::Other) {
    problems.push_back(path + ": not a regular file");
    return std::nullopt;
  }
  if (fileSize(path) > kMaxPoFileBytes) {
    problems.push_back(path + ": larger than " + std::to_string(kMaxPoFileBytes >> 20) + " MiB");
    return std::nullopt;
  }
  errno = 0;
  PoFile file(guarded(readCall, nullptr, path.c_str(), problems));
  if (!file.get()) {
    if (problems.empty()) problems.push_back(path + ": " + (errno ? std::strerror(errno) : "cannot be read"));
    return std::nullopt;
  }
  PoCatalog catalog;
  catalog.header = takeText(const_cast<char*>(po_file_domain_header(file.get(), nullptr)));
  // The lines of each msgctxt's messages, taken in file order.
  std::map<std::string, std::deque<size_t>> lines;
  for (const PoMessagePlace& place : poMessagePlaces(readWhole(files, path))) lines[place.context].push_back(place.msgstrLine);
  Iterator it(file.get());
  while (po_message_t message = po_next_message(it.get())) {
    PoMessage m;
    m.id = text(po_message_msgid(message));
    if (m.id.empty() && !po_message_msgctxt(message)) continue;  // the header entry
    m.context = text(po_message_msgctxt(message));
    m.str = text(po_message_msgstr(message));
    m.extracted = takeComment(po_message_extracted_comments(message));
    m.fuzzy = po_message_is_fuzzy(message) != 0;
    m.obsolete = po_message_is_obsolete(message) != 0;
    m.previous = text(po_message_prev_msgid(message));
    if (auto found = lines.find(m.context); !m.obsolete && found != lines.end() && !found->second.empty()) {
      m.line = found->second.front();
      found->second.pop_front();
    }
    catalog.messages.push_back(std::move(m));
  }
  return catalog;
}

std::string poHeaderField(const std::string& header, const std::string& name) {
  return takeText(po_header_field(header.c_str(), name.c_str()));
}

std::string withLineFeedsOf(const std::string& msgid, const std::string& msgstr) {
  const size_t idStart = msgid.find_first_not_of('\n');
  const size_t leading = idStart == std::string::npos ? msgid.size() : idStart;
  const size_t trailing = idStart == std::string::npos ? 0 : msgid.size() - 1 - msgid.find_last_not_of('\n');
  const size_t strStart = msgstr.find_first_not_of('\n');
  const std::string core =
      strStart == std::string::npos ? "" : msgstr.substr(strStart, msgstr.find_last_not_of('\n') + 1 - strStart);
  return std::string(leading, '\n') + core + std::string(trailing, '\n');
}

namespace {

// The text of a quoted PO string as it stands on one line, its usual
// escapes undone; nothing when the line holds no string.
std::optional<std::string> quotedString(std::string_view line) {
  const size_t open = line.find('"');
  const size_t close = line.rfind('"');
  if (open == std::string_view::npos || close <= open) return std::nullopt;
  std::string text;
  for (size_t i = open + 1; i < close; ++i) {
    if (line[i] != '\\' || i + 1 == close) {
      text += line[i];
      continue;
    }
    const char escaped = line[++i];
    text += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped == 'r' ? '\r' : escaped;
  }
  return text;
}

}  // namespace

std::vector<PoMessagePlace> poMessagePlaces(const std::string& fileText) {
  std::vector<PoMessagePlace> places;
  std::optional<std::string> context;  // of the message being read
  bool inContext = false;              // string lines continue the msgctxt
  size_t number = 0;
  for (size_t start = 0; start < fileText.size(); ++number) {
    size_t end = fileText.find('\n', start);
    if (end == std::string::npos) end = fileText.size();
    std::string_view line(fileText.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) continue;
    line.remove_prefix(first);
    if (line.starts_with("msgctxt")) {
      context = quotedString(line.substr(7)).value_or("");
      inContext = true;
    } else if (line.starts_with("\"") && inContext && context) {
      *context += quotedString(line).value_or("");
    } else if (line.starts_with("msgstr") && context) {
      places.push_back({*context, number + 1});
      context.reset();
      inContext = false;
    } else if (!line.starts_with("\"")) {
      inContext = false;
    }
  }
  return places;
}

}  // namespace vh::tool
