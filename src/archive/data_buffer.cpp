// Buffers from the free store.
#include "archive/data_buffer.hpp"

#include <limits>
#include <new>

namespace mytarvo {

namespace {
void release_to_free_store(void* /*owner*/, void* block) { delete[] static_cast<std::uint8_t*>(block); }
}  // namespace

DataBuffer FreeStore::take_buffer(std::int64_t size) {
  if (size <= 0) return {};
  const auto bytes = static_cast<std::size_t>(size);
  std::uint8_t* data = nullptr;
  if (static_cast<std::uint64_t>(size) <= std::numeric_limits<std::size_t>::max()) {
    data = new (std::nothrow) std::uint8_t[bytes]();
  }
  return DataBuffer(data, bytes, &release_to_free_store, nullptr);
}

}  // namespace mytarvo
