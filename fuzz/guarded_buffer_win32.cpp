// Guard-page buffers with VirtualAlloc and VirtualProtect.
#include <windows.h>

#include <cstdlib>

#include "guarded_buffer.hpp"

namespace mytarvo::fuzz {

GuardedBuffer::GuardedBuffer(std::size_t size) : size_(size) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const std::size_t page = info.dwPageSize;
  const std::size_t data_pages = (size + page - 1) / page;
  mapping_size_ = (data_pages + 1) * page;
  mapping_ = VirtualAlloc(nullptr, mapping_size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (mapping_ == nullptr) std::abort();
  auto* base = static_cast<std::uint8_t*>(mapping_);
  DWORD old = 0;
  if (!VirtualProtect(base + data_pages * page, page, PAGE_NOACCESS, &old)) std::abort();
  data_ = base + data_pages * page - size;
}

GuardedBuffer::~GuardedBuffer() { VirtualFree(mapping_, 0, MEM_RELEASE); }

}  // namespace mytarvo::fuzz
