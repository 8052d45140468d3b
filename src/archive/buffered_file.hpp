// One open file of the library state: an OS file behind a 4096-byte buffer that serves
// both the byte-by-byte reads of archive headers and the small writes of lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "support/platform.hpp"

namespace mytarvo {

class BufferedFile {
 public:
  static constexpr std::uint32_t kBufferSize = 4096;

  BufferedFile() = default;
  BufferedFile(const BufferedFile&) = delete;
  BufferedFile& operator=(const BufferedFile&) = delete;
  ~BufferedFile() { close(); }

  [[nodiscard]] bool open(const char* path, platform::OpenMode mode);
  // Opens an archive to write it: waits its turn behind another process that holds the
  // file (Windows sharing, about 2 s at most), then takes the writer lock (waiting as long
  // as another writer holds it; a file system without locks is written without one). When
  // the path was replaced while this writer waited, the new file at the path is opened
  // instead (a few attempts). False when the file could not be opened.
  [[nodiscard]] bool open_to_write(const char* path, platform::OpenMode mode);
  // True when `path` names the file open here.
  [[nodiscard]] bool is_file_at(const char* path) const;
  // Takes over a file opened elsewhere (kNoFile: none); true when there is one.
  [[nodiscard]] bool adopt(platform::FileHandle handle);
  // Flushes pending writes and closes; false when a pending write failed.
  bool close();
  [[nodiscard]] bool is_open() const { return handle_ != platform::kNoFile; }
  // The system's handle, for the writer lock; kNoFile when closed.
  [[nodiscard]] platform::FileHandle handle() const { return handle_; }

  // Reads one byte, or returns -1 at the end of the file.
  int read_byte();
  // Looks at the next byte without consuming it; -1 at the end of the file.
  int peek_byte();
  // Reads up to `count` bytes; returns the number read.
  std::uint32_t read(void* out, std::uint32_t count);
  void write(const void* data, std::uint32_t count);
  // Writes pending bytes to the OS; false when any write so far has failed.
  bool flush();

  [[nodiscard]] std::uint64_t position() const { return base_ + cursor_; }
  void seek(std::uint64_t offset);
  [[nodiscard]] std::uint64_t length();
  [[nodiscard]] bool at_end() { return peek_byte() < 0; }
  // Cuts the file to `length` bytes (pending writes are dropped first when beyond it).
  bool truncate(std::uint64_t length);
  // True once any write to this file has failed since it was opened.
  [[nodiscard]] bool write_failed() const { return write_failed_; }
  // Forgets earlier write failures, once their bytes have been cut off again.
  void forget_write_failure() { write_failed_ = false; }
  // True once the system has refused a read (as opposed to the end of the file).
  [[nodiscard]] bool read_failed() const { return read_failed_; }

 private:
  // Starts a fresh read buffer at the logical position; false at the end of the file.
  bool refill();
  void drop_read_buffer();

  platform::FileHandle handle_ = platform::kNoFile;
  // The buffer holds either bytes read from the file at offset base_ ([0, fill_) valid,
  // the next one at cursor_), or bytes waiting to be written at base_ ([0, cursor_)).
  // In both cases the logical position is base_ + cursor_.
  std::array<std::uint8_t, kBufferSize> buffer_{};
  std::uint64_t base_ = 0;
  std::uint32_t fill_ = 0;
  std::uint32_t cursor_ = 0;
  bool writing_ = false;
  bool write_failed_ = false;
  bool read_failed_ = false;
};

}  // namespace mytarvo
