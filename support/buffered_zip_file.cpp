#include "support/buffered_zip_file.h"

#include <algorithm>
#include <cstring>

#include "common/stream.h"

namespace vh {

zlib_filefunc64_def LayeredZipFile::over(const zlib_filefunc64_def& under) {
  under_ = under;
  zlib_filefunc64_def functions{};
  functions.zopen64_file = &LayeredZipFile::open;
  functions.zread_file = &LayeredZipFile::read;
  functions.zwrite_file = &LayeredZipFile::write;
  functions.ztell64_file = &LayeredZipFile::tell;
  functions.zseek64_file = &LayeredZipFile::seek;
  functions.zclose_file = &LayeredZipFile::close;
  functions.zerror_file = &LayeredZipFile::error;
  functions.opaque = this;
  return functions;
}

voidpf LayeredZipFile::open(voidpf opaque, const void* name, int mode) {
  auto& self = *static_cast<LayeredZipFile*>(opaque);
  self.stream_ = self.under_.zopen64_file(self.under_.opaque, name, mode);
  if (!self.stream_) return nullptr;
  // Where the file starts for minizip; asked before anything is read or
  // written.
  self.underAt_ = self.position_ = self.under_.ztell64_file(self.under_.opaque, self.stream_);
  self.underLost_ = false;
  return &self;
}

bool LayeredZipFile::moveUnder(uint64_t at) {
  if (!underLost_ && underAt_ == at) return true;
  underLost_ = under_.zseek64_file(under_.opaque, stream_, at, ZLIB_FILEFUNC_SEEK_SET) != 0;
  underAt_ = at;
  return !underLost_;
}

size_t LayeredZipFile::readAt(uint64_t at, void* into, size_t count) {
  if (!moveUnder(at)) return 0;
  const uLong got = under_.zread_file(under_.opaque, stream_, into, static_cast<uLong>(count));
  underAt_ += got;
  return got;
}

size_t LayeredZipFile::writeAt(uint64_t at, const void* bytes, size_t count) {
  if (!moveUnder(at)) return 0;
  // The held megabyte goes in blocks (kWriteBlock says why).
  size_t done = 0;
  while (done < count) {
    const auto block = static_cast<uLong>(std::min(count - done, kWriteBlock));
    const uLong put = under_.zwrite_file(under_.opaque, stream_, static_cast<const uint8_t*>(bytes) + done, block);
    underAt_ += put;
    done += put;
    if (put != block) break;
  }
  handedOver_ = std::max(handedOver_, underAt_);
  return done;
}

uLong LayeredZipFile::read(voidpf opaque, voidpf, void* into, uLong size) {
  return static_cast<uLong>(static_cast<LayeredZipFile*>(opaque)->readHere(into, size));
}

uLong LayeredZipFile::write(voidpf opaque, voidpf, const void* bytes, uLong size) {
  return static_cast<uLong>(static_cast<LayeredZipFile*>(opaque)->writeHere(bytes, size));
}

ZPOS64_T LayeredZipFile::tell(voidpf opaque, voidpf) { return static_cast<LayeredZipFile*>(opaque)->position_; }

long LayeredZipFile::seek(voidpf opaque, voidpf, ZPOS64_T offset, int origin) {
  auto& self = *static_cast<LayeredZipFile*>(opaque);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      self.position_ = offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      self.position_ += offset;
      return 0;
    default:
      // Where the file ends is `under`'s to say, once it has every byte.
      if (!self.settle() || self.under_.zseek64_file(self.under_.opaque, self.stream_, offset, origin) != 0) {
        self.underLost_ = true;
        return -1;
      }
      self.underAt_ = self.position_ = self.under_.ztell64_file(self.under_.opaque, self.stream_);
      self.underLost_ = false;
      return 0;
  }
}

int LayeredZipFile::close(voidpf opaque, voidpf) {
  auto& self = *static_cast<LayeredZipFile*>(opaque);
  const bool settled = self.settle();
  const int closed = self.under_.zclose_file(self.under_.opaque, self.stream_);
  self.stream_ = nullptr;
  return settled && closed == 0 ? 0 : -1;
}

int LayeredZipFile::error(voidpf opaque, voidpf) {
  auto& self = *static_cast<LayeredZipFile*>(opaque);
  return self.failed() ? 1 : self.under_.zerror_file(self.under_.opaque, self.stream_);
}

// ---- writing

size_t BufferedZipOutput::readHere(void* into, size_t count) {
  if (!settle()) return 0;
  const size_t got = readAt(position_, into, count);
  position_ += got;
  heldAt_ = position_;
  return got;
}

size_t BufferedZipOutput::writeHere(const void* data, size_t count) {
  if (failed_) return 0;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (held_.capacity() < kHeld) held_.reserve(kHeld);
  const uint64_t heldEnd = heldAt_ + held_.size();
  // Within the held bytes or right after them, and room for it.
  if (position_ >= heldAt_ && position_ <= heldEnd && position_ - heldAt_ + count <= kHeld) {
    const size_t offset = static_cast<size_t>(position_ - heldAt_);
    const size_t inside = std::min(count, held_.size() - offset);
    if (inside > 0) std::memcpy(held_.data() + offset, bytes, inside);
    held_.insert(held_.end(), bytes + inside, bytes + count);
    position_ += count;
    return count;
  }
  // Past the room, or somewhere else (the header of a member whose bytes
  // went out long ago): the held bytes go first, so that `under` sees
  // every write in the order minizip made it.
  if (!settle()) return 0;
  if (count < kHeld) {
    held_.assign(bytes, bytes + count);
  } else if (writeAt(position_, bytes, count) != count) {
    failed_ = true;
    return 0;
  }
  position_ += count;
  heldAt_ = count < kHeld ? position_ - count : position_;
  return count;
}

bool BufferedZipOutput::settle() {
  if (failed_) return false;
  if (!held_.empty() && writeAt(heldAt_, held_.data(), held_.size()) != held_.size()) failed_ = true;
  held_.clear();
  heldAt_ = position_;
  return !failed_;
}

// ---- reading

size_t BufferedZipInput::readHere(void* into, size_t count) {
  const size_t done = windows_.read(position_, into, count, [this](uint64_t at, uint8_t* to, size_t most) {
    return readAt(at, to, most);
  });
  position_ += done;
  return done;
}

}  // namespace vh
