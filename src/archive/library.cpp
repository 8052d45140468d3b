// The library state and its file operations.
#include "archive/library.hpp"

#include <limits>
#include <new>

namespace mytarvo {

DataBuffer::~DataBuffer() { platform::heap_free(heap_, data_); }

Library::Library() : heap_(platform::heap_create()) {}

Library::~Library() {
  for (auto& f : files_) f.close();
  platform::heap_destroy(heap_);
}

bool Library::open(int number, const char* path, platform::OpenMode mode) {
  return file(number).open(path, mode);
}

bool Library::close(int number) { return file(number).close(); }

bool Library::is_open(int number) const { return files_[static_cast<std::size_t>(number)].is_open(); }

void Library::write_line(int number, std::string_view text) {
  write_bytes(number, text.data(), static_cast<std::uint32_t>(text.size()));
  write_bytes(number, "\r\n", 2);
}

void Library::write_byte(int number, std::int32_t value) {
  auto byte = static_cast<std::uint8_t>(value & 0xFF);
  write_bytes(number, &byte, 1);
}

void Library::write_bytes(int number, const void* data, std::uint32_t count) { file(number).write(data, count); }

std::string& Library::read_line(int number) {
  BufferedFile& f = file(number);
  line_.clear();
  for (;;) {
    int byte = f.read_byte();
    if (byte < 0 || byte == '\n' || byte == 0) break;
    if (byte == '\r') {
      if (f.peek_byte() == '\n') f.read_byte();
      break;
    }
    line_.push_back(static_cast<char>(byte));
  }
  return line_;
}

std::int8_t Library::read_byte(int number) {
  int byte = file(number).read_byte();
  return byte < 0 ? std::int8_t{0} : static_cast<std::int8_t>(static_cast<std::uint8_t>(byte));
}

std::uint32_t Library::read_bytes(int number, void* out, std::uint32_t count) { return file(number).read(out, count); }

std::uint64_t Library::length(int number) { return file(number).length(); }
std::uint64_t Library::position(int number) { return file(number).position(); }
void Library::seek(int number, std::uint64_t offset) { file(number).seek(offset); }
bool Library::at_end(int number) { return file(number).at_end(); }

DataBuffer Library::take_buffer(std::int64_t size) {
  DataBuffer buffer;
  if (size <= 0) return buffer;
  buffer.size_ = static_cast<std::size_t>(size);
  if (static_cast<std::uint64_t>(size) > std::numeric_limits<std::size_t>::max()) return buffer;
  buffer.heap_ = heap_;
  buffer.data_ = static_cast<std::uint8_t*>(platform::heap_alloc_zeroed(heap_, buffer.size_));
  return buffer;
}

namespace {
Library* g_library = nullptr;
}

void library_attach() {
  if (g_library != nullptr) return;
  try {
    g_library = new Library();
  } catch (...) {
    g_library = nullptr;  // loading never fails; calls then find no state and do nothing
  }
}

void library_detach() {
  delete g_library;
  g_library = nullptr;
}

Library& library_for_call() {
  library_attach();
  if (g_library == nullptr) throw std::bad_alloc();
  return *g_library;
}

}  // namespace mytarvo
