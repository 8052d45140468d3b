// The library state: its heap, its string work area, and the one instance of a loaded library.
#include "archive/library.hpp"

#include <limits>
#include <new>

namespace mytarvo {

namespace {
void release_to_heap(void* heap, void* block) { platform::heap_free(heap, block); }
}  // namespace

Library::Library() : heap_(platform::heap_create()) {}

Library::~Library() { platform::heap_destroy(heap_); }

DataBuffer Library::take_buffer(std::int64_t size) {
  if (size <= 0) return {};
  const auto bytes = static_cast<std::size_t>(size);
  std::uint8_t* data = nullptr;
  if (static_cast<std::uint64_t>(size) <= std::numeric_limits<std::size_t>::max()) {
    data = static_cast<std::uint8_t*>(platform::heap_alloc_zeroed(heap_, bytes));
  }
  return DataBuffer(data, bytes, &release_to_heap, heap_);
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
