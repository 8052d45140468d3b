// Buffered file access for the library's open-file table.
#include "archive/buffered_file.hpp"

#include <algorithm>
#include <cstring>

namespace mytarvo {

bool BufferedFile::open(const char* path, platform::OpenMode mode) { return adopt(platform::open_file(path, mode)); }

bool BufferedFile::adopt(platform::FileHandle handle) {
  close();
  handle_ = handle;
  base_ = 0;
  fill_ = 0;
  cursor_ = 0;
  writing_ = false;
  write_failed_ = false;
  read_failed_ = false;
  return is_open();
}

bool BufferedFile::close() {
  if (!is_open()) return true;
  bool ok = flush();
  platform::close_file(handle_);
  handle_ = platform::kNoFile;
  return ok;
}

bool BufferedFile::flush() {
  if (writing_) {
    if (cursor_ > 0 && !platform::write_file_at(handle_, base_, buffer_.data(), cursor_)) write_failed_ = true;
    base_ += cursor_;
    cursor_ = 0;
    writing_ = false;
  }
  return !write_failed_;
}

void BufferedFile::drop_read_buffer() {
  base_ += cursor_;
  cursor_ = 0;
  fill_ = 0;
}

bool BufferedFile::refill() {
  flush();
  drop_read_buffer();
  std::int64_t got = platform::read_file_at(handle_, base_, buffer_.data(), kBufferSize);
  if (got < 0) read_failed_ = true;
  fill_ = got > 0 ? static_cast<std::uint32_t>(got) : 0;
  return fill_ > 0;
}

int BufferedFile::peek_byte() {
  if (!is_open()) return -1;
  if (writing_ || cursor_ >= fill_) {
    if (!refill()) return -1;
  }
  return buffer_[cursor_];
}

int BufferedFile::read_byte() {
  int byte = peek_byte();
  if (byte >= 0) ++cursor_;
  return byte;
}

std::uint32_t BufferedFile::read(void* out, std::uint32_t count) {
  if (!is_open() || out == nullptr || count == 0) return 0;
  flush();
  auto* dst = static_cast<std::uint8_t*>(out);
  std::uint32_t done = 0;
  // Whatever the read buffer still holds comes first.
  std::uint32_t buffered = std::min(count, fill_ - cursor_);
  std::memcpy(dst, buffer_.data() + cursor_, buffered);
  cursor_ += buffered;
  done += buffered;
  if (done == count) return done;
  // Large remainders go straight to the OS; small ones through the buffer.
  drop_read_buffer();
  if (count - done >= kBufferSize) {
    std::int64_t got = platform::read_file_at(handle_, base_, dst + done, count - done);
    if (got < 0) read_failed_ = true;
    if (got > 0) {
      base_ += static_cast<std::uint64_t>(got);
      done += static_cast<std::uint32_t>(got);
    }
    return done;
  }
  if (!refill()) return done;
  std::uint32_t more = std::min(count - done, fill_);
  std::memcpy(dst + done, buffer_.data(), more);
  cursor_ = more;
  return done + more;
}

void BufferedFile::write(const void* data, std::uint32_t count) {
  if (!is_open() || data == nullptr || count == 0) return;
  if (!writing_) {
    drop_read_buffer();
    writing_ = true;
  }
  const auto* src = static_cast<const std::uint8_t*>(data);
  if (cursor_ + count > kBufferSize) {
    flush();
    writing_ = true;
    if (count >= kBufferSize) {
      if (!platform::write_file_at(handle_, base_, src, count)) write_failed_ = true;
      base_ += count;
      return;
    }
  }
  std::memcpy(buffer_.data() + cursor_, src, count);
  cursor_ += count;
  if (cursor_ == kBufferSize) flush();
}

void BufferedFile::seek(std::uint64_t offset) {
  if (!is_open()) return;
  flush();
  // A seek inside the current read buffer keeps it.
  if (fill_ > 0 && offset >= base_ && offset < base_ + fill_) {
    cursor_ = static_cast<std::uint32_t>(offset - base_);
    return;
  }
  base_ = offset;
  cursor_ = 0;
  fill_ = 0;
}

std::uint64_t BufferedFile::length() {
  if (!is_open()) return 0;
  std::int64_t on_disk = platform::file_length(handle_);
  std::uint64_t length = on_disk > 0 ? static_cast<std::uint64_t>(on_disk) : 0;
  if (writing_) length = std::max(length, base_ + cursor_);
  return length;
}

bool BufferedFile::truncate(std::uint64_t length) {
  if (!is_open()) return false;
  if (writing_ && base_ + cursor_ > length) {
    // Pending bytes at or past the cut are not written at all.
    cursor_ = base_ < length ? static_cast<std::uint32_t>(length - base_) : 0;
  }
  flush();
  drop_read_buffer();
  if (base_ > length) base_ = length;
  return platform::truncate_file(handle_, length);
}

}  // namespace mytarvo
