#include "formats/xarc.h"

#include <limits>
#include <vector>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/xrc.h"

namespace vh {

namespace {

constexpr int64_t kHeaderSize = 12;
constexpr int64_t kMinEntrySize = 9;
constexpr int64_t kMissingEntriesAllowed = 64;

}  // namespace

// ---- tXFile

std::shared_ptr<tXFile> tXFile::Create(const std::string& name, int32_t offset, int32_t length, tXARC* parent) {
  return createAs<tXFile>(name, offset, length, parent);
}

int tXFile::replaceBank(ByteBufferPtr buffer) {
  bank = std::move(buffer);
  length = bank ? static_cast<int32_t>(bank->size()) : 0;
  return 0;
}

int tXFile::replaceWithStream(Stream& stream, int32_t count) {
  if (count < 0) return 0;
  auto buffer = std::make_shared<ByteBuffer>(static_cast<size_t>(count));
  stream.read(buffer->data(), buffer->size());
  bank = std::move(buffer);
  length = count;
  return 0;
}

int tXFile::Load(Stream& stream) {
  // The archive has checked offset and length against the file's size.
  stream.seek(offset);
  auto buffer = std::make_shared<ByteBuffer>();
  buffer->readFrom(stream, static_cast<size_t>(length));
  bank = std::move(buffer);
  return 0;
}

int tXFile::saveHeader(Stream& stream) {
  stream.writeString(name);
  stream.writeU8(0);
  stream.writeI32(length);
  stream.writeI32(flag);
  return 0;
}

int tXFile::save(Stream& stream) {
  if (bank) bank->writeTo(stream);
  bank.reset();
  return 0;
}

std::unique_ptr<Stream> tXFile::getStream() {
  if (!bank) bank = std::make_shared<ByteBuffer>();
  return std::make_unique<BufferStream>(bank);
}

// ---- tXARC

std::string tXARC::getExtName(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return "";
  return lowerCase(path.substr(dot + 1));
}

tXFilePtr tXARC::findFile(const std::string& memberName) const {
  for (const tXFilePtr& file : files) {
    if (equalsIgnoreCase(file->name, memberName)) return file;
  }
  return nullptr;
}

std::string tXARC::openFailureText(const Fault& fault, const std::string& path) {
  return (fault.kind == FaultKind::BadSize ? "invalid XARC size:" : "failed to read:") + path;
}

int tXARC::open(const std::string& path, Reporter& report) {
  const std::optional<Fault> fault = read(path);
  return shown(fault, path, report);
}

int tXARC::open(Stream& stream, const std::string& path, Reporter& report) {
  const std::optional<Fault> fault = read(stream, path);
  return shown(fault, path, report);
}

int tXARC::shown(const std::optional<Fault>& fault, const std::string& path, Reporter& report) {
  if (!fault) return 1;
  if (fault->kind == FaultKind::BadSize) fatalError(openFailureText(*fault, name));
  if (fault->kind == FaultKind::Damaged) report.debugLog("damaged record file in " + path + ": " + fault->detail);
  report.messageBox(openFailureText(*fault, path));
  return 0;
}

std::optional<Fault> tXARC::read(const std::string& path) {
  auto file = FileStream::open(path, FileMode::Read);
  if (!file) {
    files.clear();
    name = path;
    url = path;
    savable_ = false;
    return Fault{FaultKind::CannotOpen, "the file cannot be opened"};
  }
  return read(*file, path);
}

std::optional<Fault> tXARC::read(Stream& source, const std::string& path) {
  files.clear();
  name = path;
  url = path;
  tableEnd_ = 0;
  headerGap_.clear();
  savable_ = false;

  Stream* const stream = &source;
  stream->seek(0);
  const int64_t fileSize = stream->size();

  xrcNo = stream->readI32();
  filecount = stream->readI32();
  headerlength = stream->readI32();
  if (fileSize < kHeaderSize) {
    // A header cut short holds no member table worth the name. The archive
    // opens with no members, but there is nothing to write back: a header
    // made of the zeros read in its place would claim members the next run
    // refuses.
    return std::nullopt;
  }
  auto badSize = [](const std::string& what) { return Fault{FaultKind::BadSize, what}; };
  // Every entry takes at least nine bytes of table (an empty name's 0 byte,
  // length and flag). A table cut short by a few entries still reads
  // quietly, but a count the file's bytes cannot back is a lie; refusing it
  // keeps the member list in proportion to bytes that really exist.
  if (filecount < 0 || filecount > (fileSize - kHeaderSize) / kMinEntrySize + kMissingEntriesAllowed) {
    return badSize("member count " + std::to_string(filecount) + " is more than " + std::to_string(fileSize) +
                   " bytes can hold");
  }

  int64_t running = headerlength;
  // Where the table ends as a save writes it back. Reads past the end of the
  // file do not move the stream, so a table cut short ends later than the
  // stream's position says.
  int64_t savedTableEnd = kHeaderSize;
  std::vector<std::shared_ptr<tXRC>> recordFiles;
  for (int32_t i = 0; i < filecount; ++i) {
    std::string memberName = stream->readLine();
    const int32_t length = stream->readI32();
    const int32_t flag = stream->readI32();
    savedTableEnd += static_cast<int64_t>(memberName.size()) + kMinEntrySize;
    const bool isRecordFile = getExtName(memberName) == "xrc";
    if (length < 0 || running < 0 || running > fileSize) {
      return badSize("member " + std::to_string(i) + " of " + std::to_string(length) + " bytes at offset " +
                     std::to_string(running) + " does not fit a file of " + std::to_string(fileSize) + " bytes");
    }
    // A plain member must be all there. The record file may be cut short by
    // the end of the file: its tree reads zeros past the end (within the
    // limit that guards damaged trees) and its length is recomputed on save.
    // Any member after one that overran begins past the end and is refused.
    if (!isRecordFile && running + length > fileSize) {
      return badSize("member " + std::to_string(i) + " of " + std::to_string(length) + " bytes at offset " +
                     std::to_string(running) + " reaches past the end of a file of " + std::to_string(fileSize) +
                     " bytes");
    }

    tXFilePtr file;
    if (isRecordFile) {
      // With several record files the last one is the archive's xrc, but
      // each of them is parsed and must be sound.
      auto recordFile = tXRC::Create(memberName, static_cast<int32_t>(running), length, this);
      recordFile->subId = subId;
      recordFiles.push_back(recordFile);
      xrc = recordFile;
      file = std::move(recordFile);
    } else {
      file = tXFile::Create(memberName, static_cast<int32_t>(running), length, this);
    }
    file->flag = flag;
    files.push_back(std::move(file));
    running += length;
  }
  tableEnd_ = stream->position();
  if (filecount > 0 && tableEnd_ > headerlength) {
    return badSize("member table ends at " + std::to_string(tableEnd_) + ", past headerlength " +
                   std::to_string(headerlength));
  }
  if (tableEnd_ < headerlength) {
    const int64_t gapEnd = std::min<int64_t>(headerlength, fileSize);
    headerGap_ = stream->readString(static_cast<size_t>(gapEnd - tableEnd_));
  }

  for (const tXFilePtr& file : files) file->Load(*stream);
  for (const std::shared_ptr<tXRC>& recordFile : recordFiles) {
    if (recordFile->damage().empty()) continue;
    // Saving a tree read from garbage would write garbage over the game's
    // file, so the archive is dropped as one that cannot be read.
    files.clear();
    xrc.reset();
    return Fault{FaultKind::Damaged, recordFile->damage()};
  }
  // A table cut short reads quietly, but written back in full it would run
  // past headerlength into the first member: a file no reader accepts.
  savable_ = savedTableEnd <= headerlength || filecount == 0;
  return std::nullopt;
}

int tXARC::save(Stream& stream) {
  // Refused before a byte is written, so that a caller writing to a new file
  // abandons it rather than putting a made-up header over the game's file.
  if (!savable_) throw StreamError("no archive header to write back: " + name);
  const int64_t start = stream.position();
  stream.writeI32(xrcNo);
  stream.writeI32(filecount);
  stream.writeI32(headerlength);
  for (const tXFilePtr& file : files) file->saveHeader(stream);
  // A name that lost a carriage return on reading is one byte shorter now;
  // zeros take its place so that what followed the table stays where it was.
  const int64_t written = stream.position() - start;
  if (written < tableEnd_) {
    const std::string padding(static_cast<size_t>(tableEnd_ - written), '\0');
    stream.writeString(padding);
  }
  stream.writeString(headerGap_);
  for (const tXFilePtr& file : files) file->save(stream);
  return 0;
}

}  // namespace vh
