#include "formats/xarc.h"

#include <vector>

#include "common/bytes.h"
#include "common/report.h"
#include "formats/xarc_table.h"
#include "formats/xrc.h"

namespace vh {

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

std::optional<Fault> tXARC::read(Stream& stream, const std::string& path) {
  files.clear();
  name = path;
  url = path;
  tableEnd_ = 0;
  headerGap_.clear();
  savable_ = false;

  Result<XarcTable> read = readXarcTable(stream);
  if (!read) return read.fault();
  XarcTable& table = read.value();
  xrcNo = table.xrcNo;
  filecount = table.filecount;
  headerlength = table.headerlength;
  // A header cut short opens with no members, but there is nothing to write
  // back: a header made of the zeros read in its place would claim members
  // the next run refuses.
  if (!table.headerComplete) return std::nullopt;

  std::vector<std::shared_ptr<tXRC>> recordFiles;
  for (XarcEntry& entry : table.entries) {
    const auto offset = static_cast<int32_t>(entry.offset);
    tXFilePtr file;
    if (entry.isRecordFile) {
      // With several record files the last one is the archive's xrc, but
      // each of them is parsed and must be sound.
      auto recordFile = tXRC::Create(entry.name, offset, entry.length, this);
      recordFile->subId = subId;
      recordFiles.push_back(recordFile);
      xrc = recordFile;
      file = std::move(recordFile);
    } else {
      file = tXFile::Create(entry.name, offset, entry.length, this);
    }
    file->flag = entry.flag;
    files.push_back(std::move(file));
  }
  tableEnd_ = table.tableEnd;
  headerGap_ = std::move(table.headerGap);

  for (const tXFilePtr& file : files) file->Load(stream);
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
  savable_ = table.savedTableEnd <= headerlength || filecount == 0;
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
