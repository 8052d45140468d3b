// The process-wide library state the C functions share between calls: the private heap
// their data buffers come from, and the string work area where UnPak leaves its result.
// Files are not part of it: every operation opens the files it works on itself, names
// them, and closes them before it returns.
#pragma once

#include <cstdint>
#include <string>

#include "archive/data_buffer.hpp"
#include "support/platform.hpp"

namespace mytarvo {

class Library final : public BufferSource {
 public:
  Library();
  ~Library();  // releases the heap
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // A zero-filled buffer of `size` bytes from the library's heap; none for 0 or fewer.
  DataBuffer take_buffer(std::int64_t size) override;

  // The string work area: where UnPak leaves its result.
  std::string& work_area() { return work_area_; }

 private:
  platform::HeapHandle heap_;
  std::string work_area_;
};

// The state of a loaded library: created when the module is loaded (or on first use by a
// program that links the library statically) and destroyed when it is unloaded.
void library_attach();
void library_detach();
Library& library_for_call();

// Copies a caller's string argument: a null pointer reads as the empty string.
inline std::string copy_argument(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

}  // namespace mytarvo
