#include "support/buffered_zip_output.h"

#include <algorithm>
#include <cstring>

namespace vh {

zlib_filefunc64_def BufferedZipOutput::over(const zlib_filefunc64_def& under) {
  under_ = under;
  zlib_filefunc64_def functions{};
  functions.zopen64_file = &BufferedZipOutput::open;
  functions.zread_file = &BufferedZipOutput::read;
  functions.zwrite_file = &BufferedZipOutput::write;
  functions.ztell64_file = &BufferedZipOutput::tell;
  functions.zseek64_file = &BufferedZipOutput::seek;
  functions.zclose_file = &BufferedZipOutput::close;
  functions.zerror_file = &BufferedZipOutput::error;
  functions.opaque = this;
  return functions;
}

voidpf BufferedZipOutput::open(voidpf opaque, const void* name, int mode) {
  auto& self = *static_cast<BufferedZipOutput*>(opaque);
  self.stream_ = self.under_.zopen64_file(self.under_.opaque, name, mode);
  if (!self.stream_) return nullptr;
  // Where a new file starts; minizip asks before it writes anything.
  self.underAt_ = self.under_.ztell64_file(self.under_.opaque, self.stream_);
  self.position_ = self.heldAt_ = self.underAt_;
  self.held_.clear();
  self.held_.reserve(kHeld);
  self.failed_ = false;
  return &self;
}

uLong BufferedZipOutput::read(voidpf opaque, voidpf, void* into, uLong size) {
  auto& self = *static_cast<BufferedZipOutput*>(opaque);
  if (!self.flush()) return 0;
  if (self.underAt_ != self.position_ &&
      self.under_.zseek64_file(self.under_.opaque, self.stream_, self.position_, ZLIB_FILEFUNC_SEEK_SET) != 0) {
    return 0;
  }
  const uLong got = self.under_.zread_file(self.under_.opaque, self.stream_, into, size);
  self.position_ += got;
  self.underAt_ = self.heldAt_ = self.position_;
  return got;
}

uLong BufferedZipOutput::write(voidpf opaque, voidpf, const void* bytes, uLong size) {
  auto& self = *static_cast<BufferedZipOutput*>(opaque);
  return self.put(static_cast<const uint8_t*>(bytes), size) ? size : 0;
}

bool BufferedZipOutput::put(const uint8_t* bytes, size_t count) {
  if (failed_) return false;
  const uint64_t heldEnd = heldAt_ + held_.size();
  // Within the held bytes or right after them, and room for it.
  if (position_ >= heldAt_ && position_ <= heldEnd && position_ - heldAt_ + count <= kHeld) {
    const size_t offset = static_cast<size_t>(position_ - heldAt_);
    const size_t inside = std::min(count, held_.size() - offset);
    if (inside > 0) std::memcpy(held_.data() + offset, bytes, inside);
    held_.insert(held_.end(), bytes + inside, bytes + count);
    position_ += count;
    return true;
  }
  // Past the room, or somewhere else (the header of a member whose bytes
  // went out long ago): the held bytes go first, so that `under` sees
  // every write in the order minizip made it.
  if (!flush()) return false;
  if (position_ == heldAt_ && count < kHeld) {
    held_.assign(bytes, bytes + count);
    position_ += count;
    return true;
  }
  if (!putAt(position_, bytes, count)) return false;
  position_ += count;
  heldAt_ = position_;
  return true;
}

bool BufferedZipOutput::flush() {
  if (failed_) return false;
  if (!held_.empty() && !putAt(heldAt_, held_.data(), held_.size())) return false;
  heldAt_ += held_.size();
  held_.clear();
  heldAt_ = position_;
  return true;
}

bool BufferedZipOutput::putAt(uint64_t at, const void* bytes, size_t count) {
  if (underAt_ != at &&
      under_.zseek64_file(under_.opaque, stream_, at, ZLIB_FILEFUNC_SEEK_SET) != 0) {
    failed_ = true;
    return false;
  }
  underAt_ = at;
  const uLong put = under_.zwrite_file(under_.opaque, stream_, bytes, static_cast<uLong>(count));
  underAt_ += put;
  if (put != count) failed_ = true;
  return !failed_;
}

ZPOS64_T BufferedZipOutput::tell(voidpf opaque, voidpf) { return static_cast<BufferedZipOutput*>(opaque)->position_; }

long BufferedZipOutput::seek(voidpf opaque, voidpf, ZPOS64_T offset, int origin) {
  auto& self = *static_cast<BufferedZipOutput*>(opaque);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      self.position_ = offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      self.position_ += offset;
      return 0;
    default:
      // The end is `under`'s to say, once it holds everything.
      if (!self.flush() ||
          self.under_.zseek64_file(self.under_.opaque, self.stream_, offset, origin) != 0) {
        return -1;
      }
      self.underAt_ = self.position_ = self.heldAt_ = self.under_.ztell64_file(self.under_.opaque, self.stream_);
      return 0;
  }
}

int BufferedZipOutput::close(voidpf opaque, voidpf) {
  auto& self = *static_cast<BufferedZipOutput*>(opaque);
  const bool flushed = self.flush();
  const int closed = self.under_.zclose_file(self.under_.opaque, self.stream_);
  self.stream_ = nullptr;
  return flushed && closed == 0 ? 0 : -1;
}

int BufferedZipOutput::error(voidpf opaque, voidpf) {
  auto& self = *static_cast<BufferedZipOutput*>(opaque);
  return self.failed_ ? 1 : self.under_.zerror_file(self.under_.opaque, self.stream_);
}

// ---- reading

zlib_filefunc64_def BufferedZipInput::over(const zlib_filefunc64_def& under) {
  under_ = under;
  zlib_filefunc64_def functions{};
  functions.zopen64_file = &BufferedZipInput::open;
  functions.zread_file = &BufferedZipInput::read;
  functions.zwrite_file = &BufferedZipInput::write;
  functions.ztell64_file = &BufferedZipInput::tell;
  functions.zseek64_file = &BufferedZipInput::seek;
  functions.zclose_file = &BufferedZipInput::close;
  functions.zerror_file = &BufferedZipInput::error;
  functions.opaque = this;
  return functions;
}

voidpf BufferedZipInput::open(voidpf opaque, const void* name, int mode) {
  auto& self = *static_cast<BufferedZipInput*>(opaque);
  self.stream_ = self.under_.zopen64_file(self.under_.opaque, name, mode);
  if (!self.stream_) return nullptr;
  self.underAt_ = self.position_ = self.under_.ztell64_file(self.under_.opaque, self.stream_);
  self.windowAt_ = 0;
  self.filled_ = 0;
  return &self;
}

size_t BufferedZipInput::readAt(uint64_t at, void* into, size_t count) {
  if (underAt_ != at && under_.zseek64_file(under_.opaque, stream_, at, ZLIB_FILEFUNC_SEEK_SET) != 0) {
    // Where `under` stands is no longer known.
    underAt_ = UINT64_MAX;
    return 0;
  }
  const uLong got = under_.zread_file(under_.opaque, stream_, into, static_cast<uLong>(count));
  underAt_ = at + got;
  return got;
}

uLong BufferedZipInput::read(voidpf opaque, voidpf, void* into, uLong size) {
  auto& self = *static_cast<BufferedZipInput*>(opaque);
  auto* out = static_cast<uint8_t*>(into);
  if (self.position_ < self.windowAt_ || self.position_ + size > self.windowAt_ + self.filled_) {
    // A member's stream is read in blocks larger than the directory's
    // records: those need no window.
    if (size >= kDirect) {
      const size_t got = self.readAt(self.position_, out, size);
      self.position_ += got;
      return static_cast<uLong>(got);
    }
    if (self.window_.empty()) self.window_.resize(kWindow);
    self.windowAt_ = self.position_;
    self.filled_ = self.readAt(self.position_, self.window_.data(), kWindow);
  }
  // The window starts at or before the read: what it holds of it is all of
  // it, or what there is before the end of the file.
  const uint64_t available = self.windowAt_ + self.filled_ - self.position_;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(size, available));
  if (count > 0) std::memcpy(out, self.window_.data() + (self.position_ - self.windowAt_), count);
  self.position_ += count;
  return static_cast<uLong>(count);
}

uLong BufferedZipInput::write(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T BufferedZipInput::tell(voidpf opaque, voidpf) { return static_cast<BufferedZipInput*>(opaque)->position_; }

long BufferedZipInput::seek(voidpf opaque, voidpf, ZPOS64_T offset, int origin) {
  auto& self = *static_cast<BufferedZipInput*>(opaque);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      self.position_ = offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      self.position_ += offset;
      return 0;
    default:
      if (self.under_.zseek64_file(self.under_.opaque, self.stream_, offset, origin) != 0) {
        self.underAt_ = UINT64_MAX;
        return -1;
      }
      self.underAt_ = self.position_ = self.under_.ztell64_file(self.under_.opaque, self.stream_);
      return 0;
  }
}

int BufferedZipInput::close(voidpf opaque, voidpf) {
  auto& self = *static_cast<BufferedZipInput*>(opaque);
  const int closed = self.under_.zclose_file(self.under_.opaque, self.stream_);
  self.stream_ = nullptr;
  return closed;
}

int BufferedZipInput::error(voidpf opaque, voidpf) {
  auto& self = *static_cast<BufferedZipInput*>(opaque);
  return self.under_.zerror_file(self.under_.opaque, self.stream_);
}

}  // namespace vh
