#include "common/file_system.h"

#include <exception>

#include "common/stream.h"

namespace vh {

std::optional<FileStamp> stampOf(FileSystem& files, const std::string& path) {
  const FileStatus status = files.status(path);
  if (status.kind != FileKind::File) return std::nullopt;
  return status.stamp;
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool readFileBlocks(FileSystem& files, const std::string& path, const std::function<bool(std::string_view)>& visit) {
  const auto file = files.openRegular(path);
  if (!file) return false;
  std::vector<char> block(1 << 16);
  for (;;) {
    const std::optional<size_t> got = file->read(block.data(), block.size());
    if (!got) return false;
    if (*got == 0) return true;
    if (!visit(std::string_view(block.data(), *got))) return true;
  }
}

Result<std::string> readWholeFile(FileSystem& files, const std::string& path, uint64_t limit) {
  const auto file = files.openRegular(path);
  if (!file) return Fault{FaultKind::CannotOpen, path + " cannot be opened"};
  const auto tooLarge = [&] { return Fault{FaultKind::BadSize, path + " holds more than " + std::to_string(limit) + " bytes"}; };
  if (file->size() > limit) return tooLarge();
  const auto failed = [&] { return Fault{FaultKind::CannotOpen, path + " cannot be read to its end"}; };
  // Read straight into a string of the file's size: an archive read block by
  // block into a growing string is copied over and over, and the string ends
  // up with twice the room it needs. A file that grows meanwhile is read on
  // to its end all the same.
  std::string bytes(static_cast<size_t>(file->size()), '\0');
  size_t have = 0;
  while (have < bytes.size()) {
    const std::optional<size_t> got = file->read(bytes.data() + have, bytes.size() - have);
    if (!got) return failed();
    if (*got == 0) break;
    have += *got;
  }
  bytes.resize(have);
  char block[1 << 16];
  for (;;) {
    const std::optional<size_t> got = file->read(block, sizeof block);
    if (!got) return failed();
    if (*got == 0) return bytes;
    if (*got > limit - bytes.size()) return tooLarge();
    bytes.append(block, *got);
  }
}

bool replaceWholeFile(FileSystem& files, const std::string& path, std::string_view bytes, FolderSync sync) {
  return replaceWholeFileWith(
      files, path, [bytes](Stream& stream) { stream.write(bytes.data(), bytes.size()); }, sync);
}

bool replaceWholeFileWith(FileSystem& files, const std::string& path, const std::function<void(Stream&)>& write,
                          FolderSync sync) {
  const auto file = files.create(path);
  if (!file) return false;
  try {
    write(file->stream());
  } catch (const std::exception&) {
    return false;  // the old file stays as it was
  }
  return files.replace(*file, sync);
}

namespace {

std::vector<std::string> findLeftoversOf(FileSystem& files, const std::string& folder,
                                         const std::set<std::string>* names) {
  const std::string mark = kNewFileMark;
  constexpr size_t kRandomPart = 6;  // mkstemp's XXXXXX
  std::vector<std::string> found;
  for (std::string& entry : files.list(folder)) {
    const size_t at = entry.rfind(mark);
    if (at == std::string::npos || entry.size() != at + mark.size() + kRandomPart) continue;
    if (names && !names->count(entry.substr(0, at))) continue;
    found.push_back(std::move(entry));
  }
  return found;
}

size_t removeLeftoversOf(FileSystem& files, const std::string& folder, const std::set<std::string>* names) {
  size_t removed = 0;
  for (const std::string& entry : findLeftoversOf(files, folder, names)) {
    if (files.removeFile(folder + "/" + entry)) ++removed;
  }
  return removed;
}

}  // namespace

size_t removeLeftovers(FileSystem& files, const std::string& folder, const std::set<std::string>& names) {
  return removeLeftoversOf(files, folder, &names);
}

std::vector<std::string> findLeftovers(FileSystem& files, const std::string& folder,
                                       const std::set<std::string>& names) {
  return findLeftoversOf(files, folder, &names);
}

size_t removeAllLeftovers(FileSystem& files, const std::string& folder) {
  return removeLeftoversOf(files, folder, nullptr);
}

}  // namespace vh
