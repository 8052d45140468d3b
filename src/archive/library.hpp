// The process-wide library state: the open-file table, the string work area and the pool
// that hands out zero-filled data buffers. Operations reach files only by file number.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "archive/buffered_file.hpp"
#include "support/platform.hpp"

namespace mytarvo {

// Fixed file numbers used by the operations.
inline constexpr int kArchiveFile = 0;     // the archive being read or appended to
inline constexpr int kSecondFile = 1;      // source, listing or output file
inline constexpr int kNewArchiveFile = 3;  // the archive CreatePakFile writes

class Library;

// A zero-filled block from the library's pool. A request for 0 bytes or fewer yields no
// block; `missing()` tells a refused request of a positive size apart from that.
class DataBuffer {
 public:
  DataBuffer() = default;
  DataBuffer(DataBuffer&& other) noexcept { swap(other); }
  DataBuffer& operator=(DataBuffer&& other) noexcept {
    DataBuffer(std::move(other)).swap(*this);
    return *this;
  }
  ~DataBuffer();

  [[nodiscard]] std::uint8_t* data() const { return data_; }
  [[nodiscard]] std::size_t size() const { return data_ != nullptr ? size_ : 0; }
  // True when a block of a positive size was asked for and could not be had.
  [[nodiscard]] bool missing() const { return data_ == nullptr && size_ > 0; }

 private:
  friend class Library;
  void swap(DataBuffer& other) noexcept {
    std::swap(heap_, other.heap_);
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }
  platform::HeapHandle heap_ = nullptr;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

class Library {
 public:
  static constexpr int kFileCount = 4;

  Library();
  ~Library();  // flushes and closes every open file, then releases the pool
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // ---- Open-file table. Operations on a number without an open file do nothing. -------
  // Opening a number that holds an open file first flushes and closes that file.
  bool open(int number, const char* path, platform::OpenMode mode);
  // Flushes and closes; false when any write to the file failed.
  bool close(int number);
  [[nodiscard]] bool is_open(int number) const;
  BufferedFile& file(int number) { return files_[static_cast<std::size_t>(number)]; }

  void write_line(int number, std::string_view text);
  void write_byte(int number, std::int32_t value);
  void write_bytes(int number, const void* data, std::uint32_t count);
  // Reads one text line (LF, CR, CR LF, NUL or the end of the file ends it).
  std::string& read_line(int number);
  // One byte as a signed value; 0 when no byte is left.
  std::int8_t read_byte(int number);
  std::uint32_t read_bytes(int number, void* out, std::uint32_t count);
  std::uint64_t length(int number);
  std::uint64_t position(int number);
  void seek(int number, std::uint64_t offset);
  bool at_end(int number);

  // ---- Memory ------------------------------------------------------------------------
  // A zero-filled buffer of `size` bytes; none for 0 or fewer.
  DataBuffer take_buffer(std::int64_t size);

  // ---- String work area: where UnPak leaves its result. --------------------------------
  std::string& work_area() { return work_area_; }

 private:
  platform::HeapHandle heap_;
  std::array<BufferedFile, kFileCount> files_;
  std::string work_area_;
  std::string line_;
};

// The state of a loaded library: created when the module is loaded (or on first use by a
// program that links the library statically) and destroyed when it is unloaded.
void library_attach();
void library_detach();
Library& library_for_call();

// Copies a caller's string argument: a null pointer reads as the empty string.
inline std::string copy_argument(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

}  // namespace mytarvo
